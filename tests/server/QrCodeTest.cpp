// The hub's QR codes read back by a decoder of its own: format information,
// unmasking, the codewords' order, the blocks' error correction, byte mode.
#include "QrCode.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

using hestio::sim::QrCode;

namespace {
/// The symbol as modules read off the terminal text: true for dark.
struct Grid {
    int width { 0 };
    int height { 0 };
    std::vector<bool> dark;
    bool at(int x, int y) const { return dark[static_cast<size_t>(y * width + x)]; }
};

Grid readTerminalText(const std::string& text)
{
    Grid grid;
    std::vector<std::vector<std::pair<bool, bool>>> rows;
    std::vector<std::pair<bool, bool>> row;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == '\n') {
            rows.push_back(std::move(row));
            row.clear();
            ++i;
        } else if (text[i] == ' ') {
            row.emplace_back(false, false);
            ++i;
        } else {
            std::string glyph = text.substr(i, 3);
            EXPECT_TRUE(glyph == "█" || glyph == "▀" || glyph == "▄") << "at " << i;
            // Light modules are drawn.
            row.emplace_back(glyph != "▄", glyph != "▀");
            i += 3;
        }
    }
    EXPECT_TRUE(row.empty()) << "the text ends with a line break";
    grid.width = rows.empty() ? 0 : static_cast<int>(rows[0].size());
    grid.height = static_cast<int>(rows.size()) * 2;
    for (const auto& r : rows)
        EXPECT_EQ(static_cast<int>(r.size()), grid.width);
    grid.dark.resize(static_cast<size_t>(grid.width * grid.height));
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < grid.width && x < static_cast<int>(rows[static_cast<size_t>(y / 2)].size()); ++x) {
            auto [upper, lower] = rows[static_cast<size_t>(y / 2)][static_cast<size_t>(x)];
            grid.dark[static_cast<size_t>(y * grid.width + x)] = !(y % 2 == 0 ? upper : lower);
        }
    }
    return grid;
}

/// Level M's format information for masks 0 to 7, bit 14 first, as the
/// standard's table lists it.
const std::array<const char*, 8> kFormatM { "101010000010010", "101000100100101", "101111001111100", "101101101001011",
    "100010111111001", "100000011001110", "100111110010111", "100101010100000" };

/// Total codewords, error correction codewords per block, blocks: level M.
struct Blocks {
    int total;
    int ec;
    int count;
};
const std::array<Blocks, 7> kBlocksM { { {}, { 26, 10, 1 }, { 44, 16, 1 }, { 70, 26, 1 }, { 100, 18, 2 },
    { 134, 24, 2 }, { 172, 16, 4 } } };

uint8_t gfMultiply(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    while (b) {
        if (b & 1)
            product ^= a;
        a = static_cast<uint8_t>((a << 1) ^ (a & 0x80 ? 0x1D : 0));
        b >>= 1;
    }
    return product;
}

struct Decoded {
    int version;
    int mask;
    std::string text;
};

/// The symbol inside the quiet zone: where it starts, its size and version.
struct Symbol {
    const Grid& grid;
    int left { 0 };
    int top { 0 };
    int size { 0 };
    int version { 0 };
    bool module(int x, int y) const { return grid.at(left + x, top + y); }
};

std::optional<Symbol> locate(const Grid& grid)
{
    int minX = grid.width, minY = grid.height, maxX = -1, maxY = -1;
    for (int y = 0; y < grid.height; ++y) {
        for (int x = 0; x < grid.width; ++x) {
            if (grid.at(x, y)) {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
        }
    }
    Symbol symbol { grid, minX, minY, maxX - minX + 1, (maxX - minX + 1 - 17) / 4 };
    EXPECT_EQ(maxY - minY + 1, symbol.size);
    EXPECT_GE(std::min({ minX, minY, grid.width - 1 - maxX, grid.height - 1 - maxY }), 4) << "quiet zone";
    if (symbol.size != 17 + 4 * symbol.version || symbol.version < 1 || symbol.version > 6) {
        ADD_FAILURE() << "size " << symbol.size;
        return std::nullopt;
    }
    return symbol;
}

/// The mask named by both copies of the format information; -1 when they
/// disagree with each other or with level M's table.
int readMask(const Symbol& symbol)
{
    std::string first(15, '0');
    std::string second(15, '0');
    auto put = [](std::string& bits, int i, bool on) { bits[static_cast<size_t>(14 - i)] = on ? '1' : '0'; };
    for (int i = 0; i <= 5; ++i)
        put(first, i, symbol.module(8, i));
    put(first, 6, symbol.module(8, 7));
    put(first, 7, symbol.module(8, 8));
    put(first, 8, symbol.module(7, 8));
    for (int i = 9; i < 15; ++i)
        put(first, i, symbol.module(14 - i, 8));
    for (int i = 0; i < 8; ++i)
        put(second, i, symbol.module(symbol.size - 1 - i, 8));
    for (int i = 8; i < 15; ++i)
        put(second, i, symbol.module(8, symbol.size - 15 + i));
    EXPECT_EQ(first, second);
    EXPECT_TRUE(symbol.module(8, symbol.size - 8)) << "the dark module";
    for (int m = 0; m < 8; ++m) {
        if (first == kFormatM[static_cast<size_t>(m)])
            return m;
    }
    ADD_FAILURE() << "format information " << first << " is not level M's";
    return -1;
}

bool maskedAt(int mask, int x, int y)
{
    const std::array<bool, 8> conditions { (x + y) % 2 == 0, y % 2 == 0, x % 3 == 0, (x + y) % 3 == 0,
        (x / 3 + y / 2) % 2 == 0, (x * y) % 2 + (x * y) % 3 == 0, ((x * y) % 2 + (x * y) % 3) % 2 == 0,
        ((x + y) % 2 + (x * y) % 3) % 2 == 0 };
    return conditions[static_cast<size_t>(mask)];
}

/// The codewords in placement order, unmasked.
std::vector<uint8_t> readCodewords(const Symbol& symbol, int mask)
{
    int size = symbol.size;
    // Finders with their separators and format areas, timing, alignment.
    auto isFunction = [&](int x, int y) {
        if ((x <= 8 && y <= 8) || (x >= size - 8 && y <= 8) || (x <= 8 && y >= size - 8))
            return true;
        if (x == 6 || y == 6)
            return true;
        return symbol.version >= 2 && std::abs(x - (size - 7)) <= 2 && std::abs(y - (size - 7)) <= 2;
    };
    std::vector<uint8_t> codewords(static_cast<size_t>(kBlocksM[static_cast<size_t>(symbol.version)].total), 0);
    // Pairs of columns from the right, the first upwards, then alternating;
    // the vertical timing column is stepped over.
    size_t bit = 0;
    bool upward = true;
    for (int right = size - 1; right >= 1; right -= 2, upward = !upward) {
        if (right == 6)
            right = 5;
        for (int step = 0; step < size; ++step) {
            int y = upward ? size - 1 - step : step;
            for (int x : { right, right - 1 }) {
                if (isFunction(x, y) || bit >= codewords.size() * 8)
                    continue;
                if (symbol.module(x, y) != maskedAt(mask, x, y))
                    codewords[bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
                ++bit;
            }
        }
    }
    EXPECT_EQ(bit, codewords.size() * 8);
    return codewords;
}

/// The data codewords of the interleaved blocks, each block checked: it
/// must divide by the generator, so its syndromes at α^0 … α^(ec-1) are zero.
std::vector<uint8_t> checkedData(const std::vector<uint8_t>& codewords, int version)
{
    const Blocks& blocks = kBlocksM[static_cast<size_t>(version)];
    size_t count = static_cast<size_t>(blocks.count);
    std::vector<uint8_t> data;
    for (size_t b = 0; b < count; ++b) {
        std::vector<uint8_t> block;
        for (size_t i = 0; i < codewords.size() / count; ++i)
            block.push_back(codewords[i * count + b]);
        uint8_t alpha = 1;
        for (int j = 0; j < blocks.ec; ++j) {
            uint8_t syndrome = 0;
            for (uint8_t c : block)
                syndrome = static_cast<uint8_t>(gfMultiply(syndrome, alpha) ^ c);
            EXPECT_EQ(syndrome, 0) << "block " << b << " syndrome " << j;
            alpha = gfMultiply(alpha, 2);
        }
        data.insert(data.end(), block.begin(), block.end() - blocks.ec);
    }
    return data;
}

/// The bytes of a byte-mode segment, its terminator and padding checked.
std::string readByteMode(const std::vector<uint8_t>& data)
{
    size_t at = 0;
    auto read = [&](int count) {
        unsigned value = 0;
        for (int i = 0; i < count; ++i, ++at)
            value = (value << 1) | ((data[at / 8] >> (7 - at % 8)) & 1);
        return value;
    };
    EXPECT_EQ(read(4), 0b0100u) << "byte mode";
    unsigned count = read(8);
    std::string text;
    for (unsigned i = 0; i < count; ++i)
        text += static_cast<char>(read(8));
    if (data.size() * 8 - at >= 4) {
        EXPECT_EQ(read(4), 0u) << "terminator";
    }
    at = (at + 7) / 8 * 8;
    for (uint8_t pad = 0xEC; at < data.size() * 8; pad ^= 0xEC ^ 0x11)
        EXPECT_EQ(read(8), pad) << "padding";
    return text;
}

/// Decodes the symbol found inside `grid`'s quiet zone; a failed
/// expectation says what does not read.
std::optional<Decoded> decode(const Grid& grid)
{
    auto symbol = locate(grid);
    if (!symbol)
        return std::nullopt;
    int mask = readMask(*symbol);
    if (mask < 0)
        return std::nullopt;
    std::vector<uint8_t> data = checkedData(readCodewords(*symbol, mask), symbol->version);
    return Decoded { symbol->version, mask, readByteMode(data) };
}
}

TEST(QrCode, TheTerminalTextDecodesBackToWhatWasEncoded)
{
    std::string binary;
    for (int i = 0; i < 100; ++i)
        binary += static_cast<char>(i * 37 % 256);
    struct Case {
        std::string text;
        int version;
    };
    const std::vector<Case> cases {
        { "sha256//47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=", 4 },
        { "sha256//x8/J7VbYhC1sTEdkkXKb5Y2j3Wdv0VOzhGK5gYsFzXY=", 4 },
        { "", 1 },
        { std::string(14, 'a'), 1 },
        { std::string(15, 'a'), 2 },
        { std::string(42, 'b'), 3 },
        { std::string(43, 'b'), 4 },
        { std::string(84, 'c'), 5 },
        { std::string(106, 'd'), 6 },
        { binary, 6 },
    };
    std::set<int> masks;
    for (const auto& c : cases) {
        QrCode code(c.text);
        EXPECT_EQ(code.version(), c.version) << c.text.size();
        std::string text = code.terminalText();
        // Four light modules around it: two whole lines above, four columns beside.
        std::string fullLine;
        for (int i = 0; i < code.size() + 8; ++i)
            fullLine += "█";
        EXPECT_EQ(text.substr(0, 2 * (fullLine.size() + 1)), fullLine + "\n" + fullLine + "\n");
        for (size_t line = 0; line < text.size(); line = text.find('\n', line) + 1)
            EXPECT_EQ(text.substr(line, 12), "████") << line;
        Grid grid = readTerminalText(text);
        EXPECT_EQ(grid.width, code.size() + 8);
        auto decoded = decode(grid);
        ASSERT_TRUE(decoded) << c.text.size();
        EXPECT_EQ(decoded->text, c.text);
        EXPECT_EQ(decoded->version, c.version);
        EXPECT_EQ(decoded->mask, code.mask());
        masks.insert(code.mask());
    }
    // The mask follows the content, not a fixed choice.
    EXPECT_GT(masks.size(), 2u);
    EXPECT_THROW(QrCode(std::string(107, 'e')), std::length_error);
}
