#include "platform/keychain/FileKeychain.h"

#include "platform/foundation/DiskWriter.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/PrivateFiles.h"

#include <array>
#include <filesystem>
#include <sstream>

namespace hestio::platform {

namespace {

    constexpr char header[] = "hestio-keychain 1";
    constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

    std::string encode64(const std::string& bytes)
    {
        std::string out;
        out.reserve((bytes.size() + 2) / 3 * 4 + 1);
        std::size_t i = 0;
        for (; i + 2 < bytes.size(); i += 3) {
            unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 | (unsigned char)bytes[i + 2];
            out += { alphabet[v >> 18], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63], alphabet[v & 63] };
        }
        if (std::size_t rest = bytes.size() - i) {
            unsigned v = (unsigned char)bytes[i] << 16 | (rest == 2 ? (unsigned char)bytes[i + 1] << 8 : 0);
            out += alphabet[v >> 18];
            out += alphabet[(v >> 12) & 63];
            out += rest == 2 ? alphabet[(v >> 6) & 63] : '=';
            out += '=';
        }
        // A lone "-" stands for the empty string so every field is a token.
        return out.empty() ? "-" : out;
    }

    std::optional<std::string> decode64(const std::string& text)
    {
        if (text == "-")
            return std::string();
        if (text.size() % 4 != 0)
            return std::nullopt;
        std::array<int, 256> value;
        value.fill(-1);
        for (int i = 0; i < 64; ++i)
            value[(unsigned char)alphabet[i]] = i;
        std::string out;
        for (std::size_t i = 0; i < text.size(); i += 4) {
            int v[4];
            for (int k = 0; k < 4; ++k) {
                char c = text[i + k];
                v[k] = c == '=' ? 0 : value[(unsigned char)c];
                if (v[k] < 0 || (c == '=' && (i + 4 != text.size() || k < 2)))
                    return std::nullopt;
            }
            unsigned triple = v[0] << 18 | v[1] << 12 | v[2] << 6 | v[3];
            out += char(triple >> 16);
            if (text[i + 2] != '=')
                out += char((triple >> 8) & 255);
            if (text[i + 3] != '=')
                out += char(triple & 255);
        }
        return out;
    }

}

FileKeychain::FileKeychain(std::string path)
    : m_path(std::move(path))
{
    load();
}

void FileKeychain::load()
{
    // A few lines per stored secret; a larger file is not one we wrote.
    // What was stored last, also while it waits for the disk.
    auto read = DiskWriter::shared().read(m_path, 1024 * 1024);
    if (read && *read && (*read)->size > (*read)->bytes.size())
        read = Error("it is too large");
    if (!read) {
        hestio::log("Credential file " + m_path + " is not readable (" + read.error().message()
            + "); starting with no stored credentials");
        return;
    }
    if (!*read)
        return; // no file yet: an empty store
    std::istringstream in((*read)->bytes);
    std::string line;
    if (!std::getline(in, line) || line != header) {
        hestio::log("Credential file " + m_path + " is not readable; starting with no stored credentials");
        return;
    }
    bool damaged = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string account, service, label, data;
        int accessible = 1;
        if (!(fields >> account >> service >> label >> data >> accessible)) {
            damaged = true;
            continue;
        }
        auto a = decode64(account), s = decode64(service), l = decode64(label), d = decode64(data);
        if (!a || !s || !l || !d) {
            damaged = true;
            continue;
        }
        m_items.push_back({ *a, *s, *l, *d, accessible != 0 });
    }
    if (damaged)
        hestio::log("Credential file " + m_path + " has damaged entries; they were skipped");
}

KeychainStatus FileKeychain::didChange()
{
    std::string text = std::string(header) + "\n";
    for (const auto& item : m_items) {
        text += encode64(item.account) + ' ' + encode64(item.service) + ' ' + encode64(item.label) + ' '
            + encode64(item.data) + ' ' + (item.accessibleAlways ? "1" : "0") + '\n';
    }

    // On the disk writer: a new temporary file (never one planted at a fixed
    // name), owner-only from its first byte, renamed over the old one. A
    // failure is logged; the credentials stay in memory for this run.
    DiskWriter::shared().write(m_path, std::move(text), [](const Status& written) {
        if (!written)
            hestio::log("Could not keep the credentials: " + written.error().message());
    });
    return keychain_status::success;
}

}
