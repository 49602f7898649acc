#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace hestio::sim {

/// A QR code symbol: byte mode, error correction level M, the smallest of
/// versions 1 to 6 that holds the text (up to 106 bytes), its mask chosen by
/// the penalty rules. Enough for a certificate pin a person scans from the
/// hub's terminal.
class QrCode {
public:
    static constexpr int kMaxVersion = 6;

    /// Throws std::length_error when `bytes` does not fit version 6.
    explicit QrCode(std::string_view bytes);

    [[nodiscard]] int version() const { return m_version; }
    /// Modules per side: 17 + 4 × version.
    [[nodiscard]] int size() const { return m_size; }
    [[nodiscard]] int mask() const { return m_mask; }
    /// Whether the module at column `x`, row `y` is dark.
    [[nodiscard]] bool dark(int x, int y) const { return m_modules[static_cast<size_t>(y * m_size + x)]; }

    /// The symbol as terminal text, two module rows to a line, with a
    /// quiet zone of four modules around it. Light modules are drawn
    /// ("█" both, "▀" upper, "▄" lower, " " neither), so on a terminal with
    /// light text on a dark ground the code shows dark on light, as a
    /// scanner expects.
    [[nodiscard]] std::string terminalText() const;

    /// The largest text a version holds in byte mode at level M.
    [[nodiscard]] static int capacity(int version);

private:
    void drawFunctionPatterns();
    void drawFinder(int centerX, int centerY);
    void drawFormatBits(int mask);
    void setFunction(int x, int y, bool isDark);
    void placeCodewords(const std::vector<unsigned char>& codewords);
    void applyMask(int mask);
    [[nodiscard]] long penalty() const;

    int m_version { 1 };
    int m_size { 21 };
    int m_mask { 0 };
    std::vector<bool> m_modules;
    std::vector<bool> m_function;
};

}
