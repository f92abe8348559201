#include "PngWriter_p.h"

#include <libdeflate.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <queue>
#include <utility>
#include <vector>

namespace mivora {

namespace {

// The compressed stream is written in IDAT chunks of this size.
constexpr size_t kIdatChunkSize = size_t{1} << 18;
// Rows that differ from the row above are compressed by libdeflate, in pieces
// of about this many bytes: a piece stays in the processor's cache while it is
// filtered and compressed, and the matches a larger piece would find are few.
constexpr size_t kPieceSize = size_t{1} << 20;
// libdeflate's level for those pieces. Measured on the rows of a 600 dpi A4
// label page that differ from the row above (32 MB): level 1 takes 100 ms and
// makes 787 KB, level 2 12 % more time for 3.5 % less, level 5 20 % more for
// 8 % less.
constexpr int kCompressionLevel = 1;

// PNG row filter types.
constexpr unsigned char kFilterNone = 0;
constexpr unsigned char kFilterUp = 2;

void PutUint32(unsigned char* Out, uint32_t Value) {
  Out[0] = static_cast<unsigned char>(Value >> 24);
  Out[1] = static_cast<unsigned char>(Value >> 16);
  Out[2] = static_cast<unsigned char>(Value >> 8);
  Out[3] = static_cast<unsigned char>(Value);
}

// 0x00RRGGBB as 0x00BBGGRR, which lies in little-endian memory as R, G, B, 0.
inline uint32_t Swapped(uint32_t Pixel) { return __builtin_bswap32(Pixel) >> 8; }

// Packs Width pixels of Cairo's RGB24 (native 32-bit 0x00RRGGBB) into red,
// green and blue bytes. Four pixels at a time make three 32-bit words, without
// a branch per pixel.
void PackRgbRow(const uint32_t* Source, size_t Width, unsigned char* Target) {
  size_t x = 0;
  if constexpr (std::endian::native == std::endian::little) {
    for (; x + 4 <= Width; x += 4) {
      const uint32_t a = Swapped(Source[x]);
      const uint32_t b = Swapped(Source[x + 1]);
      const uint32_t c = Swapped(Source[x + 2]);
      const uint32_t d = Swapped(Source[x + 3]);
      const uint32_t words[3] = {a | (b << 24), (b >> 8) | (c << 16), (c >> 16) | (d << 8)};
      std::memcpy(Target, words, sizeof words);
      Target += sizeof words;
    }
  }
  for (; x < Width; ++x) {
    const uint32_t pixel = Source[x];
    Target[0] = static_cast<unsigned char>(pixel >> 16);
    Target[1] = static_cast<unsigned char>(pixel >> 8);
    Target[2] = static_cast<unsigned char>(pixel);
    Target += 3;
  }
}

// Target = Row - Above, byte by byte (the Up filter), sixteen bytes at a time
// where the compiler has vector registers.
void SubtractRow(const unsigned char* Row, const unsigned char* Above, size_t Length, unsigned char* Target) {
  using TBytes = unsigned char __attribute__((vector_size(16)));
  size_t i = 0;
  for (; i + sizeof(TBytes) <= Length; i += sizeof(TBytes)) {
    TBytes a;
    TBytes b;
    std::memcpy(&a, Row + i, sizeof a);
    std::memcpy(&b, Above + i, sizeof b);
    const TBytes difference = a - b;
    std::memcpy(Target + i, &difference, sizeof difference);
  }
  for (; i < Length; ++i) Target[i] = static_cast<unsigned char>(Row[i] - Above[i]);
}

// ---------------------------------------------------------------------------
// Deflate, as far as the writer needs it.
//
// A page is one zlib stream made of two kinds of deflate block. A row the same
// as the row above is all zeros once filtered; most rows of a page are, and a
// general compressor spends most of its time finding the same matches in them
// again. Runs of such rows are written here as blocks of their own, from a code
// made once per page. The other rows are compressed by libdeflate, a piece at
// a time; each piece is a complete deflate stream, whose last block is marked
// final: the piece's blocks are walked to find that mark and the piece's last
// bit, the mark is cleared and the piece's bits are joined to the stream.

constexpr uint32_t kAdlerModulus = 65521;
constexpr unsigned kMaxCodeLength = 15;
constexpr unsigned kMaxCodeLengthCodeLength = 7;
constexpr size_t kLiteralLengthSymbols = 288;  // 286 used, 2 reserved
constexpr size_t kDistanceSymbols = 32;        // 30 used
constexpr size_t kCodeLengthSymbols = 19;
constexpr uint16_t kEndOfBlock = 256;

// Lengths 3 to 258 of a match: symbols 257 + i, base length and extra bits.
constexpr std::array<uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<uint8_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block lists the lengths of the code-length code.
constexpr std::array<uint8_t, kCodeLengthSymbols> kCodeLengthOrder = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};

// Bits appended least significant first, as deflate packs them, to a byte
// buffer.
class TBitWriter {
public:
  explicit TBitWriter(std::vector<unsigned char>& Out) : out_(Out) {}

  // Appends the low Count bits of Bits (Count at most 32; higher bits zero).
  void Put(uint32_t Bits, unsigned Count) {
    pending_ |= static_cast<uint64_t>(Bits) << count_;
    count_ += Count;
    while (count_ >= 8) {
      out_.push_back(static_cast<unsigned char>(pending_));
      pending_ >>= 8;
      count_ -= 8;
    }
  }
  // Appends the first Count bits of Data (bit 0 of byte 0 first).
  void PutBits(const unsigned char* Data, size_t Count) {
    const size_t bytes = Count / 8;
    if (count_ == 0) {
      out_.insert(out_.end(), Data, Data + bytes);
    } else {
      for (size_t i = 0; i < bytes; ++i) Put(Data[i], 8);
    }
    if (const unsigned rest = static_cast<unsigned>(Count % 8); rest > 0)
      Put(Data[bytes] & ((1u << rest) - 1), rest);
  }
  void AlignToByte() {
    if (count_ > 0) Put(0, 8 - count_);
  }
  bool Aligned() const { return count_ == 0; }
  // Ends the current bit at a byte boundary with an empty stored block.
  void EmptyStoredBlock() {
    Put(0, 3);
    AlignToByte();
    Put(0, 16);
    Put(0xFFFF, 16);
  }

private:
  std::vector<unsigned char>& out_;
  uint64_t pending_ = 0;
  unsigned count_ = 0;  // below 8 between calls
};

// Huffman code lengths for symbols used Counts[i] times (0: unused). Every
// used symbol gets a length and the code is complete (a single used symbol
// gets a partner of the same length). Returns false if a length would exceed
// MaxLength: a Huffman code of n symbols is at most n - 1 bits long, so that
// cannot happen with fewer than MaxLength + 2 symbols.
bool HuffmanLengths(const uint32_t* Counts, size_t Symbols, unsigned MaxLength, uint8_t* Lengths) {
  std::fill(Lengths, Lengths + Symbols, uint8_t{0});
  struct TNode {
    uint64_t Weight;
    int32_t Left, Right;  // children, or -1 -1 for symbol Symbol
    int32_t Symbol;
  };
  std::vector<TNode> nodes;
  using TEntry = std::pair<uint64_t, int32_t>;  // weight, node; ties by node for a stable result
  std::priority_queue<TEntry, std::vector<TEntry>, std::greater<>> queue;
  for (size_t s = 0; s < Symbols; ++s) {
    if (Counts[s] == 0) continue;
    nodes.push_back({Counts[s], -1, -1, static_cast<int32_t>(s)});
    queue.emplace(Counts[s], static_cast<int32_t>(nodes.size() - 1));
  }
  if (nodes.empty()) return true;
  if (nodes.size() == 1) {
    const auto used = static_cast<size_t>(nodes.front().Symbol);
    Lengths[used] = 1;
    Lengths[used == 0 ? 1 : 0] = 1;
    return true;
  }
  while (queue.size() > 1) {
    const TEntry a = queue.top();
    queue.pop();
    const TEntry b = queue.top();
    queue.pop();
    nodes.push_back({a.first + b.first, a.second, b.second, -1});
    queue.emplace(a.first + b.first, static_cast<int32_t>(nodes.size() - 1));
  }
  // Depths by walking down from the root.
  std::vector<std::pair<int32_t, unsigned>> stack = {{queue.top().second, 0}};
  while (!stack.empty()) {
    const auto [node, depth] = stack.back();
    stack.pop_back();
    const TNode& n = nodes[static_cast<size_t>(node)];
    if (n.Symbol >= 0) {
      if (depth > MaxLength) return false;
      Lengths[n.Symbol] = static_cast<uint8_t>(depth);
    } else {
      stack.emplace_back(n.Left, depth + 1);
      stack.emplace_back(n.Right, depth + 1);
    }
  }
  return true;
}

// The canonical codes of Lengths, bit-reversed for TBitWriter.
std::vector<uint16_t> CanonicalCodes(const uint8_t* Lengths, size_t Symbols) {
  std::array<uint16_t, kMaxCodeLength + 1> perLength{};
  for (size_t s = 0; s < Symbols; ++s) ++perLength[Lengths[s]];
  perLength[0] = 0;
  // The first code of each length.
  std::array<uint16_t, kMaxCodeLength + 1> next{};
  for (unsigned length = 2; length <= kMaxCodeLength; ++length)
    next[length] = static_cast<uint16_t>((next[length - 1] + perLength[length - 1]) << 1);
  std::vector<uint16_t> codes(Symbols, 0);
  for (size_t s = 0; s < Symbols; ++s) {
    const unsigned length = Lengths[s];
    if (length == 0) continue;
    const unsigned code = next[length]++;
    unsigned reversed = 0;
    for (unsigned bit = 0; bit < length; ++bit) reversed |= (code >> bit & 1) << (length - 1 - bit);
    codes[s] = static_cast<uint16_t>(reversed);
  }
  return codes;
}

// A token of a block: Bits, Count bits long, already coded.
struct TCodedBits {
  uint32_t Bits;
  uint8_t Count;
};

// The deflate block of a run of rows that repeat the row above: each such row
// is filtered to the Up filter's type and zeros. Its code is made once per
// page, from one row's symbols: the filter type and a zero as literals, the
// other zeros as copies of the byte before (distance 1), 258 bytes at a time.
class TRepeatBlock {
public:
  // For rows of RgbBytes bytes after the filter type; false if no code fits
  // (it always does: the block uses at most six symbols).
  bool Make(size_t RgbBytes) {
    // One row as symbols: literals, or a length symbol with its extra bits.
    struct TSymbol {
      uint16_t Symbol;
      uint8_t ExtraCount;
      uint16_t Extra;
    };
    std::vector<TSymbol> row = {{kFilterUp, 0, 0}, {0, 0, 0}};
    size_t zeros = RgbBytes - 1;
    while (zeros >= 3) {
      size_t length = std::min<size_t>(zeros, 258);
      if (zeros - length > 0 && zeros - length < 3) length = zeros - 3;  // leave at least 3
      size_t i = kLengthBase.size() - 1;
      while (kLengthBase[i] > length) --i;
      row.push_back({static_cast<uint16_t>(257 + i), kLengthExtra[i], static_cast<uint16_t>(length - kLengthBase[i])});
      zeros -= length;
    }
    for (; zeros > 0; --zeros) row.push_back({0, 0, 0});

    std::array<uint32_t, kLiteralLengthSymbols> counts{};
    for (const TSymbol& s : row) ++counts[s.Symbol];
    ++counts[kEndOfBlock];
    std::array<uint8_t, kLiteralLengthSymbols> lengths{};
    if (!HuffmanLengths(counts.data(), 286, kMaxCodeLength, lengths.data())) return false;
    // Distance 1 is code 0; codes 0 and 1 of one bit each make the distance
    // code complete, which strict decoders ask of it.
    const std::array<uint8_t, 2> distanceLengths = {1, 1};
    const std::vector<uint16_t> codes = CanonicalCodes(lengths.data(), kLiteralLengthSymbols);

    header_.clear();
    if (!CodeHeader(lengths.data(), distanceLengths.data())) return false;
    row_.clear();
    for (const TSymbol& s : row) {
      row_.push_back({codes[s.Symbol], lengths[s.Symbol]});
      if (s.Symbol > kEndOfBlock) {
        if (s.ExtraCount > 0) row_.push_back({s.Extra, s.ExtraCount});
        row_.push_back({0, 1});  // distance code 0: distance 1
      }
    }
    end_ = {codes[kEndOfBlock], lengths[kEndOfBlock]};
    return true;
  }

  // Appends a block of Rows such rows.
  void Put(TBitWriter& Out, size_t Rows) const {
    Out.Put(0, 1);  // not the last block
    Out.Put(2, 2);  // dynamic Huffman codes
    for (const TCodedBits& bits : header_) Out.Put(bits.Bits, bits.Count);
    for (size_t r = 0; r < Rows; ++r)
      for (const TCodedBits& bits : row_) Out.Put(bits.Bits, bits.Count);
    Out.Put(end_.Bits, end_.Count);
  }

private:
  // The code lengths of the block's two codes, run-length coded by the
  // code-length code, as a dynamic block's header gives them.
  bool CodeHeader(const uint8_t* LiteralLengths, const uint8_t* DistanceLengths) {
    size_t literals = 257;
    for (size_t s = 257; s < 286; ++s)
      if (LiteralLengths[s] != 0) literals = s + 1;
    std::vector<uint8_t> all(LiteralLengths, LiteralLengths + literals);
    all.push_back(DistanceLengths[0]);
    all.push_back(DistanceLengths[1]);
    // Runs: code-length symbols 0-15 as they are, 16 repeats the last length
    // 3-6 times, 17 and 18 write 3-10 and 11-138 zeros.
    struct TRun {
      uint8_t Symbol;
      uint8_t ExtraCount;
      uint8_t Extra;
    };
    std::vector<TRun> runs;
    for (size_t i = 0; i < all.size();) {
      size_t same = 1;
      while (i + same < all.size() && all[i + same] == all[i]) ++same;
      size_t left = same;
      if (all[i] == 0) {
        while (left >= 11) {
          const size_t n = std::min<size_t>(left, 138);
          runs.push_back({18, 7, static_cast<uint8_t>(n - 11)});
          left -= n;
        }
        if (left >= 3) {
          runs.push_back({17, 3, static_cast<uint8_t>(left - 3)});
          left = 0;
        }
      } else {
        runs.push_back({all[i], 0, 0});
        --left;
        while (left >= 3) {
          const size_t n = std::min<size_t>(left, 6);
          runs.push_back({16, 2, static_cast<uint8_t>(n - 3)});
          left -= n;
        }
      }
      for (; left > 0; --left) runs.push_back({all[i], 0, 0});
      i += same;
    }
    std::array<uint32_t, kCodeLengthSymbols> counts{};
    for (const TRun& run : runs) ++counts[run.Symbol];
    std::array<uint8_t, kCodeLengthSymbols> lengths{};
    if (!HuffmanLengths(counts.data(), kCodeLengthSymbols, kMaxCodeLengthCodeLength, lengths.data())) return false;
    const std::vector<uint16_t> codes = CanonicalCodes(lengths.data(), kCodeLengthSymbols);
    size_t listed = 4;
    for (size_t i = 0; i < kCodeLengthSymbols; ++i)
      if (lengths[kCodeLengthOrder[i]] != 0) listed = std::max(listed, i + 1);

    header_.push_back({static_cast<uint32_t>(literals - 257), 5});
    header_.push_back({1, 5});  // two distance codes
    header_.push_back({static_cast<uint32_t>(listed - 4), 4});
    for (size_t i = 0; i < listed; ++i) header_.push_back({lengths[kCodeLengthOrder[i]], 3});
    for (const TRun& run : runs) {
      header_.push_back({codes[run.Symbol], lengths[run.Symbol]});
      if (run.ExtraCount > 0) header_.push_back({run.Extra, run.ExtraCount});
    }
    return true;
  }

  std::vector<TCodedBits> header_;
  std::vector<TCodedBits> row_;
  TCodedBits end_{};
};

// Reads a deflate stream's bits, least significant first; bits past the end
// read as zeros and mark the reader overrun.
class TBitReader {
public:
  TBitReader(const unsigned char* Data, size_t Size) : data_(Data), size_(Size) {}

  // The next Count bits (at most 32), not consumed.
  uint32_t Peek(unsigned Count) const {
    const size_t byte = position_ / 8;
    uint64_t word = 0;
    if (byte + sizeof word <= size_) {
      std::memcpy(&word, data_ + byte, sizeof word);
      if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    } else {
      for (size_t i = 0; byte + i < size_; ++i) word |= static_cast<uint64_t>(data_[byte + i]) << (8 * i);
    }
    return static_cast<uint32_t>(word >> (position_ % 8)) & static_cast<uint32_t>((uint64_t{1} << Count) - 1);
  }
  void Skip(unsigned Count) { position_ += Count; }
  uint32_t Read(unsigned Count) {
    const uint32_t value = Peek(Count);
    position_ += Count;
    return value;
  }
  void AlignToByte() { position_ = (position_ + 7) / 8 * 8; }
  size_t Position() const { return position_; }
  bool Overrun() const { return position_ > 8 * size_; }

private:
  const unsigned char* data_;
  size_t size_;
  size_t position_ = 0;
};

// Decodes the symbols of one Huffman code: codes of up to kTableBits bits by
// one look-up, longer ones bit by bit.
class THuffmanDecoder {
public:
  // False for lengths no code can have (too many codes of a length).
  bool Build(const uint8_t* Lengths, size_t Symbols) {
    perLength_.fill(0);
    for (size_t s = 0; s < Symbols; ++s) ++perLength_[Lengths[s]];
    perLength_[0] = 0;
    int left = 1;
    for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
      left = 2 * left - perLength_[length];
      if (left < 0) return false;
    }
    std::array<uint16_t, kMaxCodeLength + 2> offset{};
    for (unsigned length = 1; length <= kMaxCodeLength; ++length)
      offset[length + 1] = static_cast<uint16_t>(offset[length] + perLength_[length]);
    for (size_t s = 0; s < Symbols; ++s)
      if (Lengths[s] != 0) symbols_[offset[Lengths[s]]++] = static_cast<uint16_t>(s);
    table_.fill(0);
    const std::vector<uint16_t> codes = CanonicalCodes(Lengths, Symbols);
    for (size_t s = 0; s < Symbols; ++s) {
      const unsigned length = Lengths[s];
      if (length == 0 || length > kTableBits) continue;
      for (uint32_t high = 0; high < (1u << (kTableBits - length)); ++high)
        table_[codes[s] | (high << length)] = static_cast<uint16_t>(s << 4 | length);
    }
    return true;
  }

  // The next symbol, or -1 for bits that are no code.
  int Decode(TBitReader& In) const {
    if (const uint16_t entry = table_[In.Peek(kTableBits)]; entry != 0) {
      In.Skip(entry & 15);
      return entry >> 4;
    }
    int code = 0, first = 0, index = 0;
    for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
      code |= static_cast<int>(In.Read(1));
      const int count = perLength_[length];
      if (code - first < count) return symbols_[static_cast<size_t>(index + code - first)];
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return -1;
  }

private:
  static constexpr unsigned kTableBits = 10;
  std::array<uint16_t, 1u << kTableBits> table_{};
  std::array<uint16_t, kMaxCodeLength + 1> perLength_{};
  std::array<uint16_t, kLiteralLengthSymbols> symbols_{};
};

// Where a complete deflate stream's last block begins and where its last bit
// ends, found by walking its blocks, and whether it has stored blocks (whose
// bytes must stay on byte boundaries). False for a stream that is not whole.
bool FindLastBlock(const unsigned char* Data, size_t Size, size_t& LastHeader, size_t& End, bool& Stored) {
  Stored = false;
  TBitReader in(Data, Size);
  THuffmanDecoder literals;
  THuffmanDecoder distances;
  for (;;) {
    const size_t header = in.Position();
    const bool last = in.Read(1) != 0;
    const uint32_t type = in.Read(2);
    if (type == 0) {
      Stored = true;
      in.AlignToByte();
      const uint32_t length = in.Read(16);
      if (in.Read(16) != (~length & 0xFFFF)) return false;
      in.Skip(8 * length);
    } else {
      // The literal/length code's lengths, then the distance code's.
      std::array<uint8_t, kLiteralLengthSymbols + kDistanceSymbols> lengths{};
      size_t literalCount = kLiteralLengthSymbols, distanceCount = 30;
      if (type == 1) {
        std::fill(lengths.begin(), lengths.begin() + 144, uint8_t{8});
        std::fill(lengths.begin() + 144, lengths.begin() + 256, uint8_t{9});
        std::fill(lengths.begin() + 256, lengths.begin() + 280, uint8_t{7});
        std::fill(lengths.begin() + 280, lengths.begin() + 288, uint8_t{8});
        std::fill(lengths.begin() + 288, lengths.begin() + 318, uint8_t{5});
      } else if (type == 2) {
        literalCount = in.Read(5) + 257;
        distanceCount = in.Read(5) + 1;
        const size_t listed = in.Read(4) + 4;
        if (literalCount > 286 || distanceCount > 30) return false;
        std::array<uint8_t, kCodeLengthSymbols> codeLengths{};
        for (size_t i = 0; i < listed; ++i) codeLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(in.Read(3));
        THuffmanDecoder codeLengthCode;
        if (!codeLengthCode.Build(codeLengths.data(), kCodeLengthSymbols)) return false;
        const size_t total = literalCount + distanceCount;
        for (size_t i = 0; i < total;) {
          const int symbol = codeLengthCode.Decode(in);
          if (symbol < 0 || in.Overrun()) return false;
          if (symbol < 16) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
          }
          uint8_t value = 0;
          size_t repeat = 0;
          if (symbol == 16) {
            if (i == 0) return false;
            value = lengths[i - 1];
            repeat = 3 + in.Read(2);
          } else if (symbol == 17) {
            repeat = 3 + in.Read(3);
          } else {
            repeat = 11 + in.Read(7);
          }
          if (i + repeat > total) return false;
          std::fill_n(lengths.begin() + static_cast<ptrdiff_t>(i), repeat, value);
          i += repeat;
        }
        if (lengths[kEndOfBlock] == 0) return false;
      } else {
        return false;
      }
      if (!literals.Build(lengths.data(), literalCount) ||
          !distances.Build(lengths.data() + literalCount, distanceCount))
        return false;
      for (;;) {
        const int symbol = literals.Decode(in);
        if (symbol < 0 || in.Overrun()) return false;
        if (symbol < kEndOfBlock) continue;
        if (symbol == kEndOfBlock) break;
        const auto lengthIndex = static_cast<size_t>(symbol - 257);
        if (lengthIndex >= kLengthExtra.size()) return false;
        in.Skip(kLengthExtra[lengthIndex]);
        const int distance = distances.Decode(in);
        if (distance < 0 || static_cast<size_t>(distance) >= kDistanceExtra.size()) return false;
        in.Skip(kDistanceExtra[static_cast<size_t>(distance)]);
      }
    }
    if (in.Overrun()) return false;
    if (last) {
      LastHeader = header;
      End = in.Position();
      return true;
    }
  }
}

// Adler-32 of the bytes of Rows rows that are a filter type of 2 and Zeros
// zeros, continued from Adler, without reading them: each row adds 2 to the
// first sum, and the first sum after each of its bytes to the second.
uint32_t AdlerOfRepeatedRows(uint32_t Adler, size_t Zeros, size_t Rows) {
  uint64_t a = Adler & 0xFFFF;
  uint64_t b = Adler >> 16;
  const uint64_t rowBytes = (Zeros + 1) % kAdlerModulus;
  for (size_t r = 0; r < Rows; ++r) {
    a = (a + kFilterUp) % kAdlerModulus;
    b = (b + rowBytes * a) % kAdlerModulus;
  }
  return static_cast<uint32_t>(b << 16 | a);
}

struct TCompressorDeleter {
  void operator()(libdeflate_compressor* Compressor) const { libdeflate_free_compressor(Compressor); }
};

// The compressor, made once per thread: its tables are a megabyte or so.
libdeflate_compressor* Compressor() {
  thread_local const std::unique_ptr<libdeflate_compressor, TCompressorDeleter> compressor(
      libdeflate_alloc_compressor(kCompressionLevel));
  return compressor.get();
}

} // namespace

// Packs the rows as PNG stores them: a filter type, then red, green and blue
// of every pixel, each row but the first as its difference from the row above
// (the Up filter), and compresses them into the zlib stream. Rows repeat down a
// page (margins, blank lines, the inside of frames and pictures' flat areas),
// and a repeated row becomes zeros; on pages with pictures this makes files a
// sixth smaller, on text pages a few per cent larger than unfiltered rows, at
// little cost. Writes the full IDAT chunks as the stream grows.
//
// A run of rows repeating the one above is coded when the run ends, so the
// stream does not depend on how the rows were handed over in bands.
class TPngRowWriter::TImpl {
public:
  TImpl(cairo_write_func_t WriteFunc, void* Closure) : write_(WriteFunc), closure_(Closure), bits_(stream_) {}

  cairo_status_t Start(int Width, int Height) {
    if (Width <= 0 || Height <= 0) return CAIRO_STATUS_INVALID_SIZE;
    width_ = static_cast<size_t>(Width);
    height_ = static_cast<size_t>(Height);
    static constexpr unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (const cairo_status_t status = write_(closure_, signature, sizeof signature); status != CAIRO_STATUS_SUCCESS)
      return status;
    unsigned char header[13] = {};
    PutUint32(header, static_cast<uint32_t>(Width));
    PutUint32(header + 4, static_cast<uint32_t>(Height));
    header[8] = 8;  // bits per sample
    header[9] = 2;  // colour type: RGB
    // Compression, filter method and interlacing stay 0: deflate, adaptive, none.
    if (const cairo_status_t status = Chunk("IHDR", header, sizeof header); status != CAIRO_STATUS_SUCCESS)
      return status;
    const size_t rgbSize = 3 * width_;
    stream_.push_back(0x78);  // deflate, 32 KB window
    stream_.push_back(0x01);  // no dictionary; check bits
    row_.resize(rgbSize);
    above_.resize(rgbSize);
    last_.resize(4 * width_);
    // Whole rows, at least one; the buffer is not cleared between pieces.
    piece_.resize(std::max(kPieceSize / (1 + rgbSize), size_t{1}) * (1 + rgbSize));
    return CAIRO_STATUS_SUCCESS;
  }

  cairo_status_t AddRows(const unsigned char* Pixels, size_t Stride, size_t Rows) {
    if (Rows > height_ - y_) return CAIRO_STATUS_INVALID_SIZE;
    const size_t rgbSize = 3 * width_;
    const size_t rowSize = 1 + rgbSize;
    for (size_t i = 0; i < Rows; ++i, ++y_) {
      const unsigned char* source = Pixels + i * Stride;
      // A row the same as the one above is found on the pixels, before any
      // packing: most rows of a page are.
      if (y_ > 0 && std::memcmp(source, i > 0 ? source - Stride : last_.data(), 4 * width_) == 0) {
        ++repeated_;  // above_ still holds these pixels
        continue;
      }
      if (const cairo_status_t status = EndRepeat(); status != CAIRO_STATUS_SUCCESS) return status;
      if (pieceSize_ + rowSize > piece_.size()) {
        if (const cairo_status_t status = CompressPiece(); status != CAIRO_STATUS_SUCCESS) return status;
      }
      PackRgbRow(reinterpret_cast<const uint32_t*>(source), width_, row_.data());
      const size_t at = pieceSize_;
      pieceSize_ += rowSize;
      if (y_ == 0) {
        piece_[at] = kFilterNone;
        std::memcpy(piece_.data() + at + 1, row_.data(), rgbSize);
      } else {
        piece_[at] = kFilterUp;
        SubtractRow(row_.data(), above_.data(), rgbSize, piece_.data() + at + 1);
      }
      row_.swap(above_);
    }
    if (Rows > 0) std::memcpy(last_.data(), Pixels + (Rows - 1) * Stride, 4 * width_);
    return CAIRO_STATUS_SUCCESS;
  }

  cairo_status_t Finish() {
    if (y_ != height_) return CAIRO_STATUS_INVALID_SIZE;
    if (const cairo_status_t status = EndRepeat(); status != CAIRO_STATUS_SUCCESS) return status;
    if (const cairo_status_t status = CompressPiece(); status != CAIRO_STATUS_SUCCESS) return status;
    // An empty last block with the fixed code, then the checksum.
    bits_.Put(1, 1);
    bits_.Put(1, 2);
    bits_.Put(0, 7);
    bits_.AlignToByte();
    unsigned char adler[4];
    PutUint32(adler, adler_);
    stream_.insert(stream_.end(), adler, adler + 4);
    if (const cairo_status_t status = Flush(true); status != CAIRO_STATUS_SUCCESS) return status;
    return Chunk("IEND", nullptr, 0);
  }

private:
  // Codes the run of repeated rows that has just ended, if any.
  cairo_status_t EndRepeat() {
    if (repeated_ == 0) return CAIRO_STATUS_SUCCESS;
    if (const cairo_status_t status = CompressPiece(); status != CAIRO_STATUS_SUCCESS) return status;
    if (!repeatMade_) {
      if (!repeat_.Make(3 * width_)) return CAIRO_STATUS_NO_MEMORY;
      repeatMade_ = true;
    }
    repeat_.Put(bits_, repeated_);
    adler_ = AdlerOfRepeatedRows(adler_, 3 * width_, repeated_);
    repeated_ = 0;
    return CAIRO_STATUS_SUCCESS;
  }

  // Compresses the rows gathered in the piece and joins them to the stream.
  cairo_status_t CompressPiece() {
    if (pieceSize_ == 0) return CAIRO_STATUS_SUCCESS;
    adler_ = libdeflate_adler32(adler_, piece_.data(), pieceSize_);
    libdeflate_compressor* compressor = Compressor();
    if (compressor == nullptr) return CAIRO_STATUS_NO_MEMORY;
    compressed_.resize(libdeflate_deflate_compress_bound(compressor, pieceSize_));
    const size_t size = libdeflate_deflate_compress(compressor, piece_.data(), pieceSize_, compressed_.data(),
                                                    compressed_.size());
    size_t lastHeader = 0, end = 0;
    bool stored = false;
    if (size > 0 && FindLastBlock(compressed_.data(), size, lastHeader, end, stored)) {
      compressed_[lastHeader / 8] = static_cast<unsigned char>(compressed_[lastHeader / 8] & ~(1u << (lastHeader % 8)));
      // A stored block's length is padded to the next byte boundary, which
      // moves with the bits before it: such a piece starts on a boundary.
      if (stored && !bits_.Aligned()) bits_.EmptyStoredBlock();
      bits_.PutBits(compressed_.data(), end);
    } else {
      // Not expected of libdeflate; stored blocks keep the file whole.
      for (size_t at = 0; at < pieceSize_; at += 0xFFFF) {
        const size_t length = std::min<size_t>(0xFFFF, pieceSize_ - at);
        bits_.Put(0, 3);  // a stored block, not the last
        bits_.AlignToByte();
        bits_.Put(static_cast<uint32_t>(length), 16);
        bits_.Put(static_cast<uint32_t>(~length & 0xFFFF), 16);
        stream_.insert(stream_.end(), piece_.begin() + static_cast<ptrdiff_t>(at),
                       piece_.begin() + static_cast<ptrdiff_t>(at + length));
      }
    }
    pieceSize_ = 0;
    return Flush(false);
  }

  // Writes the stream's full IDAT chunks; with All, the rest as well.
  cairo_status_t Flush(bool All) {
    size_t at = 0;
    while (stream_.size() - at >= kIdatChunkSize || (All && at < stream_.size())) {
      const size_t length = std::min(kIdatChunkSize, stream_.size() - at);
      if (const cairo_status_t status = Chunk("IDAT", stream_.data() + at, length); status != CAIRO_STATUS_SUCCESS)
        return status;
      at += length;
    }
    stream_.erase(stream_.begin(), stream_.begin() + static_cast<ptrdiff_t>(at));
    return CAIRO_STATUS_SUCCESS;
  }

  // Writes one chunk: length, type, data and the CRC of type and data.
  cairo_status_t Chunk(const char* Type, const unsigned char* Data, size_t Length) {
    unsigned char head[8];
    PutUint32(head, static_cast<uint32_t>(Length));
    std::memcpy(head + 4, Type, 4);
    uint32_t crc = libdeflate_crc32(0, head + 4, 4);
    if (Length > 0) crc = libdeflate_crc32(crc, Data, Length);
    unsigned char tail[4];
    PutUint32(tail, crc);
    cairo_status_t status = write_(closure_, head, sizeof head);
    if (status == CAIRO_STATUS_SUCCESS && Length > 0) status = write_(closure_, Data, static_cast<unsigned int>(Length));
    if (status == CAIRO_STATUS_SUCCESS) status = write_(closure_, tail, sizeof tail);
    return status;
  }

  cairo_write_func_t write_;
  void* closure_;
  std::vector<unsigned char> stream_;      // the zlib stream not yet written
  TBitWriter bits_;
  uint32_t adler_ = 1;
  size_t width_ = 0, height_ = 0;
  size_t y_ = 0;                           // rows handed over so far
  size_t repeated_ = 0;                    // rows repeating the one above, not yet coded
  std::vector<unsigned char> row_, above_; // a row packed, and the row above it packed
  std::vector<unsigned char> last_;        // the last row handed over, as given
  std::vector<unsigned char> piece_;       // packed rows not yet compressed: the first pieceSize_ bytes
  size_t pieceSize_ = 0;
  std::vector<unsigned char> compressed_;  // a piece compressed
  TRepeatBlock repeat_;
  bool repeatMade_ = false;
};

TPngRowWriter::TPngRowWriter(cairo_write_func_t WriteFunc, void* Closure)
    : impl_(std::make_unique<TImpl>(WriteFunc, Closure)) {}

TPngRowWriter::~TPngRowWriter() = default;

cairo_status_t TPngRowWriter::Start(int Width, int Height) {
  try {
    return impl_->Start(Width, Height);
  } catch (const std::bad_alloc&) {
    return CAIRO_STATUS_NO_MEMORY;
  }
}

cairo_status_t TPngRowWriter::AddRows(const unsigned char* Pixels, size_t Stride, int Rows) {
  if (Rows < 0) return CAIRO_STATUS_INVALID_SIZE;
  try {
    return impl_->AddRows(Pixels, Stride, static_cast<size_t>(Rows));
  } catch (const std::bad_alloc&) {
    return CAIRO_STATUS_NO_MEMORY;
  }
}

cairo_status_t TPngRowWriter::Finish() {
  try {
    return impl_->Finish();
  } catch (const std::bad_alloc&) {
    return CAIRO_STATUS_NO_MEMORY;
  }
}

cairo_status_t WritePng(cairo_surface_t* Surface, cairo_write_func_t WriteFunc, void* Closure, TPngPixels) {
  if (cairo_image_surface_get_format(Surface) != CAIRO_FORMAT_RGB24)
    return cairo_surface_write_to_png_stream(Surface, WriteFunc, Closure);
  cairo_surface_flush(Surface);
  const int width = cairo_image_surface_get_width(Surface);
  const int height = cairo_image_surface_get_height(Surface);
  const unsigned char* pixels = cairo_image_surface_get_data(Surface);
  if (pixels == nullptr) return CAIRO_STATUS_INVALID_SIZE;
  TPngRowWriter writer(WriteFunc, Closure);
  if (const cairo_status_t status = writer.Start(width, height); status != CAIRO_STATUS_SUCCESS) return status;
  const auto stride = static_cast<size_t>(cairo_image_surface_get_stride(Surface));
  if (const cairo_status_t status = writer.AddRows(pixels, stride, height); status != CAIRO_STATUS_SUCCESS)
    return status;
  return writer.Finish();
}

} // namespace mivora
