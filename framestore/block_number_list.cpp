// Huffman coding of the block-number list. Leaves are the distinct values
// 0 .. M; internal nodes are numbered M + 1, M + 2, ... so that any node
// number above M means "internal". The decoder works without recursion so a
// deep hostile tree cannot exhaust the stack.
#include "framestore/block_number_list.h"

#include <algorithm>
#include <queue>
#include <tuple>

namespace veltro {

namespace {

// Bits needed for the maximum value: 0 for 0, else floor(log2 M) + 1.
int valueWidth(int maximum) {
    int bits = 0;
    while (bits < 31 && (int64_t(1) << bits) <= maximum)
        ++bits;
    return bits;
}

class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : m_data(data), m_bits(size * 8) {}
    // False when the stream is exhausted.
    bool get(int bits, uint32_t& value) {
        if (remaining() < static_cast<uint64_t>(bits))
            return false;
        value = 0;
        for (int i = 0; i < bits; ++i, ++m_pos)
            value = value << 1 | ((m_data[m_pos >> 3] >> (7 - (m_pos & 7))) & 1u);
        return true;
    }
    uint64_t remaining() const { return m_bits - m_pos; }

private:
    const uint8_t* m_data;
    uint64_t m_bits;
    uint64_t m_pos = 0;
};

}  // namespace

bool BlockNumberList::push(int value) {
    if (value < 0 || value > kMaxValue)
        return false;
    m_values.push_back(value);
    if (value > m_maximum)
        m_maximum = value;
    return true;
}

int BlockNumberList::next() {
    if (m_cursor >= m_values.size())
        return -1;
    return m_values[m_cursor++];
}

void BlockNumberList::clear() {
    m_values.clear();
    m_maximum = 0;
    m_cursor = 0;
}

BlockNumberEncoder::BlockNumberEncoder(const std::vector<uint32_t>& frequency) {
    const int limit = static_cast<int>(std::min<size_t>(frequency.size(), size_t(BlockNumberList::kMaxValue) + 1));
    for (int v = 0; v < limit; ++v)
        if (frequency[v] > 0) {
            m_maximum = v;
            m_count += frequency[v];
        }
    const int maximum = m_maximum;
    m_present.assign(static_cast<size_t>(maximum) + 1, 0);
    for (int v = 0; v <= maximum && v < limit; ++v)
        m_present[v] = frequency[v] > 0;

    // Node ids: leaves 0 .. M, internal nodes M + 1 upward in creation order.
    std::vector<int> parent(static_cast<size_t>(maximum) + 1, -1);
    std::vector<uint8_t> side(static_cast<size_t>(maximum) + 1, 0);

    // Least frequency first; among equals, the node entered first.
    using Item = std::tuple<uint64_t, uint64_t, int>;  // frequency, order, node
    std::priority_queue<Item, std::vector<Item>, std::greater<Item>> queue;
    uint64_t order = 0;
    for (int v = 0; v <= maximum; ++v)
        if (m_present[v])
            queue.emplace(frequency[v], order++, v);

    if (!queue.empty()) {
        while (queue.size() > 1) {
            auto [fx, ox, x] = queue.top();
            queue.pop();
            auto [fy, oy, y] = queue.top();
            queue.pop();
            const int id = maximum + 1 + static_cast<int>(m_internal.size());
            m_internal.push_back({x, y});
            parent.push_back(-1);
            side.push_back(0);
            parent[x] = id;
            side[x] = 0;
            parent[y] = id;
            side[y] = 1;
            queue.emplace(fx + fy, order++, id);
            (void)ox;
            (void)oy;
        }
        m_root = std::get<2>(queue.top());
    }

    // Each distinct value's path, collected once from its leaf upwards.
    // Huffman depth over fewer than 2^32 values stays far below 64.
    m_codes.assign(static_cast<size_t>(maximum) + 1, Code());
    for (int v = 0; v <= maximum; ++v) {
        if (!m_present[v])
            continue;
        Code code;
        for (int node = v; parent[node] >= 0; node = parent[node]) {
            code.bits |= uint64_t(side[node]) << code.length;
            ++code.length;
        }
        m_codes[v] = code;
    }
}

void BlockNumberEncoder::putBits(uint64_t value, int bits, std::string& out) {
    for (int i = bits - 1; i >= 0; --i) {
        m_byte = static_cast<uint8_t>(m_byte << 1 | ((value >> i) & 1u));
        if (++m_filled == 8) {
            out.push_back(static_cast<char>(m_byte));
            m_byte = 0;
            m_filled = 0;
        }
    }
}

void BlockNumberEncoder::begin(std::string& out) {
    const int maximum = m_maximum;
    const int width = valueWidth(maximum);
    putBits(m_count, 31, out);
    putBits(static_cast<uint32_t>(maximum), 16, out);

    // The tree in preorder, with an explicit stack.
    if (m_count > 0) {
        std::vector<int> stack{m_root};
        while (!stack.empty()) {
            const int node = stack.back();
            stack.pop_back();
            if (node > maximum) {
                putBits(1, 1, out);
                const Internal& n = m_internal[node - maximum - 1];
                stack.push_back(n.right);
                stack.push_back(n.left);
            } else {
                putBits(0, 1, out);
                putBits(static_cast<uint32_t>(node), width, out);
            }
        }
    } else {
        // An empty list still needs a tree for the stream to be readable.
        putBits(0, 1, out);
        putBits(0, width, out);
    }
}

bool BlockNumberEncoder::put(int value, std::string& out) {
    if (value < 0 || value > m_maximum || !m_present[value])
        return false;
    putBits(m_codes[value].bits, m_codes[value].length, out);
    return true;
}

void BlockNumberEncoder::finish(std::string& out) {
    if (m_filled > 0)
        putBits(0, 8 - m_filled, out);
}

void BlockNumberList::encode(std::string& out) const {
    std::vector<uint32_t> frequency(static_cast<size_t>(m_maximum) + 1, 0);
    for (int32_t v : m_values)
        ++frequency[v];
    BlockNumberEncoder encoder(frequency);
    encoder.begin(out);
    for (int32_t v : m_values)
        encoder.put(v, out);
    encoder.finish(out);
}

bool BlockNumberList::decode(const uint8_t* data, size_t size, size_t maxCount) {
    clear();
    BitReader bits(data, size);
    uint32_t count = 0, maximum = 0;
    if (!bits.get(31, count) || !bits.get(16, maximum))
        return false;
    const int width = valueWidth(static_cast<int>(maximum));
    if (count > maxCount)
        return false;

    // Internal node i has number M + 1 + i; at most M of them (numbers up to 2M).
    std::vector<int> left(maximum), right(maximum);
    int internalCount = 0;
    int root = -1;
    std::vector<int*> pending{&root};
    while (!pending.empty()) {
        int* slot = pending.back();
        pending.pop_back();
        uint32_t bit = 0;
        if (!bits.get(1, bit))
            return false;
        if (bit == 0) {
            uint32_t value = 0;
            if (!bits.get(width, value) || value > maximum)
                return false;
            *slot = static_cast<int>(value);
        } else {
            if (static_cast<uint32_t>(internalCount) >= maximum)
                return false;  // its number would be 2M + 1 or more
            const int index = internalCount++;
            *slot = static_cast<int>(maximum) + 1 + index;
            pending.push_back(&right[index]);
            pending.push_back(&left[index]);
        }
    }

    // With two or more leaves every value costs at least one bit, so the
    // remaining bits bound the count before anything is reserved.
    const bool singleLeaf = internalCount == 0;
    if (!singleLeaf && count > bits.remaining())
        return false;
    m_values.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        int node = root;
        while (node > static_cast<int>(maximum)) {
            uint32_t bit = 0;
            if (!bits.get(1, bit)) {
                clear();
                return false;
            }
            const int index = node - static_cast<int>(maximum) - 1;
            node = bit ? right[index] : left[index];
        }
        m_values.push_back(node);
        if (node > m_maximum)
            m_maximum = node;
    }
    return true;
}

}  // namespace veltro
