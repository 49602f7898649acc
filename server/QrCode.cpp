#include "QrCode.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace hestio::sim {

namespace {
    /// Level M's block structure of versions 1 to 6: every block of a
    /// version has the same length there.
    struct VersionBlocks {
        int totalCodewords;
        int ecPerBlock;
        int blocks;
    };
    constexpr std::array<VersionBlocks, QrCode::kMaxVersion + 1> kLevelM { {
        { 0, 0, 0 },
        { 26, 10, 1 },
        { 44, 16, 1 },
        { 70, 26, 1 },
        { 100, 18, 2 },
        { 134, 24, 2 },
        { 172, 16, 4 },
    } };

    int dataCodewords(int version)
    {
        const VersionBlocks& v = kLevelM[static_cast<size_t>(version)];
        return v.totalCodewords - v.ecPerBlock * v.blocks;
    }

    /// Multiplication in GF(256) modulo x^8 + x^4 + x^3 + x^2 + 1.
    uint8_t multiply(uint8_t a, uint8_t b)
    {
        int product = 0;
        for (int bit = 7; bit >= 0; --bit) {
            product = (product << 1) ^ ((product >> 7) * 0x11D);
            product ^= ((b >> bit) & 1) * a;
        }
        return static_cast<uint8_t>(product);
    }

    /// The generator polynomial (x - α^0)…(x - α^(degree-1)), highest
    /// coefficient first, its leading 1 left out.
    std::vector<uint8_t> generator(int degree)
    {
        std::vector<uint8_t> result(static_cast<size_t>(degree), 0);
        result.back() = 1;
        uint8_t root = 1;
        for (int i = 0; i < degree; ++i) {
            for (size_t j = 0; j < result.size(); ++j) {
                result[j] = multiply(result[j], root);
                if (j + 1 < result.size())
                    result[j] ^= result[j + 1];
            }
            root = multiply(root, 2);
        }
        return result;
    }

    std::vector<uint8_t> errorCorrection(const std::vector<uint8_t>& data, const std::vector<uint8_t>& divisor)
    {
        std::vector<uint8_t> remainder(divisor.size(), 0);
        for (uint8_t byte : data) {
            uint8_t factor = byte ^ remainder.front();
            remainder.erase(remainder.begin());
            remainder.push_back(0);
            for (size_t i = 0; i < remainder.size(); ++i)
                remainder[i] ^= multiply(divisor[i], factor);
        }
        return remainder;
    }

    /// Mode, length, the bytes, terminator and padding: the data codewords.
    std::vector<uint8_t> dataStream(std::string_view bytes, int version)
    {
        std::vector<bool> bits;
        auto append = [&bits](unsigned value, int length) {
            for (int i = length - 1; i >= 0; --i)
                bits.push_back((value >> i) & 1);
        };
        append(0b0100, 4);
        append(static_cast<unsigned>(bytes.size()), 8);
        for (char c : bytes)
            append(static_cast<unsigned char>(c), 8);
        size_t capacityBits = static_cast<size_t>(dataCodewords(version)) * 8;
        append(0, static_cast<int>(std::min<size_t>(4, capacityBits - bits.size())));
        append(0, static_cast<int>((8 - bits.size() % 8) % 8));
        std::vector<uint8_t> codewords(bits.size() / 8, 0);
        for (size_t i = 0; i < bits.size(); ++i)
            codewords[i / 8] |= static_cast<uint8_t>(bits[i] << (7 - i % 8));
        for (uint8_t pad = 0xEC; codewords.size() < capacityBits / 8; pad ^= 0xEC ^ 0x11)
            codewords.push_back(pad);
        return codewords;
    }

    /// The data split into blocks, each followed by its error correction,
    /// interleaved codeword by codeword.
    std::vector<uint8_t> interleaved(const std::vector<uint8_t>& data, int version)
    {
        const VersionBlocks& v = kLevelM[static_cast<size_t>(version)];
        size_t perBlock = data.size() / static_cast<size_t>(v.blocks);
        std::vector<uint8_t> divisor = generator(v.ecPerBlock);
        std::vector<std::vector<uint8_t>> blocks;
        for (size_t b = 0; b < static_cast<size_t>(v.blocks); ++b) {
            std::vector<uint8_t> block(
                data.begin() + static_cast<long>(b * perBlock), data.begin() + static_cast<long>((b + 1) * perBlock));
            std::vector<uint8_t> ec = errorCorrection(block, divisor);
            block.insert(block.end(), ec.begin(), ec.end());
            blocks.push_back(std::move(block));
        }
        std::vector<uint8_t> result;
        for (size_t i = 0; i < blocks.front().size(); ++i) {
            for (const auto& block : blocks)
                result.push_back(block[i]);
        }
        return result;
    }

    bool maskHits(int mask, int x, int y)
    {
        switch (mask) {
        case 0:
            return (x + y) % 2 == 0;
        case 1:
            return y % 2 == 0;
        case 2:
            return x % 3 == 0;
        case 3:
            return (x + y) % 3 == 0;
        case 4:
            return (x / 3 + y / 2) % 2 == 0;
        case 5:
            return x * y % 2 + x * y % 3 == 0;
        case 6:
            return (x * y % 2 + x * y % 3) % 2 == 0;
        default:
            return ((x + y) % 2 + x * y % 3) % 2 == 0;
        }
    }
}

int QrCode::capacity(int version)
{
    // The mode (4 bits) and the 8-bit length come first.
    return dataCodewords(version) - 2;
}

QrCode::QrCode(std::string_view bytes)
{
    while (m_version <= kMaxVersion && static_cast<int>(bytes.size()) > capacity(m_version))
        ++m_version;
    if (m_version > kMaxVersion)
        throw std::length_error("a QR code of version 6 holds at most 106 bytes");
    m_size = 17 + 4 * m_version;
    m_modules.assign(static_cast<size_t>(m_size * m_size), false);
    m_function = m_modules;
    drawFunctionPatterns();
    placeCodewords(interleaved(dataStream(bytes, m_version), m_version));

    long best = std::numeric_limits<long>::max();
    for (int mask = 0; mask < 8; ++mask) {
        applyMask(mask);
        drawFormatBits(mask);
        long score = penalty();
        if (score < best) {
            best = score;
            m_mask = mask;
        }
        applyMask(mask); // undoes it
    }
    applyMask(m_mask);
    drawFormatBits(m_mask);
}

void QrCode::setFunction(int x, int y, bool isDark)
{
    size_t at = static_cast<size_t>(y * m_size + x);
    m_modules[at] = isDark;
    m_function[at] = true;
}

void QrCode::drawFinder(int centerX, int centerY)
{
    // The 7×7 finder with its light separator, clipped at the edges.
    for (int dy = -4; dy <= 4; ++dy) {
        for (int dx = -4; dx <= 4; ++dx) {
            int x = centerX + dx;
            int y = centerY + dy;
            if (x < 0 || y < 0 || x >= m_size || y >= m_size)
                continue;
            int ring = std::max(std::abs(dx), std::abs(dy));
            setFunction(x, y, ring != 2 && ring != 4);
        }
    }
}

void QrCode::drawFunctionPatterns()
{
    for (int i = 0; i < m_size; ++i) {
        setFunction(6, i, i % 2 == 0);
        setFunction(i, 6, i % 2 == 0);
    }
    drawFinder(3, 3);
    drawFinder(m_size - 4, 3);
    drawFinder(3, m_size - 4);
    if (m_version >= 2) {
        // Up to version 6 the one alignment pattern sits near the lower right.
        int center = m_size - 7;
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx)
                setFunction(center + dx, center + dy, std::max(std::abs(dx), std::abs(dy)) != 1);
        }
    }
    // The format areas are reserved now and written once the mask is known.
    drawFormatBits(0);
}

void QrCode::drawFormatBits(int mask)
{
    // Level M is 00; BCH(15,5) with the generator 10100110111, then the fixed mask.
    int data = mask;
    int remainder = data;
    for (int i = 0; i < 10; ++i)
        remainder = (remainder << 1) ^ ((remainder >> 9) * 0x537);
    int bits = ((data << 10) | remainder) ^ 0x5412;
    auto bit = [bits](int i) { return ((bits >> i) & 1) != 0; };
    for (int i = 0; i <= 5; ++i)
        setFunction(8, i, bit(i));
    setFunction(8, 7, bit(6));
    setFunction(8, 8, bit(7));
    setFunction(7, 8, bit(8));
    for (int i = 9; i < 15; ++i)
        setFunction(14 - i, 8, bit(i));
    for (int i = 0; i < 8; ++i)
        setFunction(m_size - 1 - i, 8, bit(i));
    for (int i = 8; i < 15; ++i)
        setFunction(8, m_size - 15 + i, bit(i));
    setFunction(8, m_size - 8, true);
}

void QrCode::placeCodewords(const std::vector<unsigned char>& codewords)
{
    // Two columns at a time from the right, up then down, skipping the
    // vertical timing pattern; the leftover remainder bits stay light.
    size_t bit = 0;
    size_t bits = codewords.size() * 8;
    for (int right = m_size - 1; right >= 1; right -= 2) {
        if (right == 6)
            right = 5;
        bool upward = ((right + 1) & 2) == 0;
        for (int step = 0; step < m_size; ++step) {
            int y = upward ? m_size - 1 - step : step;
            for (int x = right; x >= right - 1; --x) {
                size_t at = static_cast<size_t>(y * m_size + x);
                if (m_function[at] || bit >= bits)
                    continue;
                m_modules[at] = ((codewords[bit / 8] >> (7 - bit % 8)) & 1) != 0;
                ++bit;
            }
        }
    }
}

void QrCode::applyMask(int mask)
{
    for (int y = 0; y < m_size; ++y) {
        for (int x = 0; x < m_size; ++x) {
            size_t at = static_cast<size_t>(y * m_size + x);
            if (!m_function[at] && maskHits(mask, x, y))
                m_modules[at] = !m_modules[at];
        }
    }
}

long QrCode::penalty() const
{
    long score = 0;
    auto line = [this](bool rows, int i, int j) { return rows ? dark(j, i) : dark(i, j); };
    // Runs of five or more, and the finder-like 1:1:3:1:1 with four light beside it.
    static const std::array<bool, 11> kFinderLeft { 1, 0, 1, 1, 1, 0, 1, 0, 0, 0, 0 };
    static const std::array<bool, 11> kFinderRight { 0, 0, 0, 0, 1, 0, 1, 1, 1, 0, 1 };
    for (bool rows : { true, false }) {
        for (int i = 0; i < m_size; ++i) {
            int run = 0;
            for (int j = 0; j < m_size; ++j) {
                run = j > 0 && line(rows, i, j) == line(rows, i, j - 1) ? run + 1 : 1;
                if (run == 5)
                    score += 3;
                else if (run > 5)
                    score += 1;
                if (j + 11 > m_size)
                    continue;
                bool left = true;
                bool right = true;
                for (int k = 0; k < 11; ++k) {
                    left &= line(rows, i, j + k) == kFinderLeft[static_cast<size_t>(k)];
                    right &= line(rows, i, j + k) == kFinderRight[static_cast<size_t>(k)];
                }
                score += (left ? 40 : 0) + (right ? 40 : 0);
            }
        }
    }
    long darkCount = 0;
    for (int y = 0; y < m_size; ++y) {
        for (int x = 0; x < m_size; ++x) {
            darkCount += dark(x, y);
            if (x + 1 < m_size && y + 1 < m_size && dark(x, y) == dark(x + 1, y) && dark(x, y) == dark(x, y + 1)
                && dark(x, y) == dark(x + 1, y + 1))
                score += 3;
        }
    }
    // Ten points for each five percent the dark share strays from half.
    long total = static_cast<long>(m_size) * m_size;
    score += 10 * (std::abs(darkCount * 20 - total * 10) / total);
    return score;
}

std::string QrCode::terminalText() const
{
    constexpr int kQuiet = 4;
    auto light = [this](int x, int y) { return x < 0 || y < 0 || x >= m_size || y >= m_size || !dark(x, y); };
    std::string text;
    for (int y = -kQuiet; y < m_size + kQuiet; y += 2) {
        for (int x = -kQuiet; x < m_size + kQuiet; ++x) {
            bool upper = light(x, y);
            bool lower = light(x, y + 1);
            text += upper && lower ? "█" : upper ? "▀" : lower ? "▄" : " ";
        }
        text += '\n';
    }
    return text;
}

}
