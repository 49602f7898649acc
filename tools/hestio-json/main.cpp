#include "JsonTool.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    return hestio::runJsonTool(arguments, std::cin, std::cout, std::cerr);
}
