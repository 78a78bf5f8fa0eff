// Results: layouts, rows and the sort (see result.h).
#include "sql/result.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "platform/text/text.h"
#include "sql/sql_exception.h"
#include "sql/values.h"

namespace sql {

namespace {
constexpr std::uint32_t kBuckets = 17;
}

// ---- ResultLayout ----

std::uint32_t ResultLayout::HashName(std::string_view name) {
  std::uint32_t h = 0;
  for (char c : name) h = h * 33u + static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
  return h;
}

std::int32_t ResultLayout::Find(std::string_view name) const {
  for (std::size_t i = 0; i < names_.size(); ++i)
    if (names_[i] == name) return static_cast<std::int32_t>(i);
  return -1;
}

std::int32_t ResultLayout::Add(std::string_view name) {
  const std::int32_t found = Find(name);
  if (found >= 0) return found;
  const auto slot = static_cast<std::int32_t>(names_.size());
  const std::uint32_t bucket = HashName(name) % kBuckets;
  names_.emplace_back(name);
  buckets_.push_back(bucket);
  // Before the first name of a later bucket, and before every older name of its own bucket.
  auto at = std::find_if(order_.begin(), order_.end(),
                         [&](std::int32_t s) { return buckets_[static_cast<std::size_t>(s)] >= bucket; });
  order_.insert(at, slot);
  return slot;
}

// ---- CResultRow ----

CResultRow::CResultRow(std::shared_ptr<const ResultLayout> layout)
    : layout_(std::move(layout)), values_(layout_ ? layout_->Size() : 0) {}

const std::string* CResultRow::Find(std::string_view name) const {
  if (!layout_) return nullptr;
  const std::int32_t slot = layout_->Find(name);
  return slot < 0 ? nullptr : &values_[static_cast<std::size_t>(slot)];
}

void CResultRow::Set(std::string_view name, std::string value) {
  std::int32_t slot = layout_ ? layout_->Find(name) : -1;
  if (slot < 0) {
    // Layouts are shared between rows: add the name to a copy.
    auto copy = layout_ ? std::make_shared<ResultLayout>(*layout_) : std::make_shared<ResultLayout>();
    slot = copy->Add(name);
    layout_ = std::move(copy);
    values_.resize(layout_->Size());
  }
  values_[static_cast<std::size_t>(slot)] = std::move(value);
}

// ---- CResultTable ----

void CResultTable::Append(std::vector<CResultRow>&& rows) {
  if (rows_.empty()) {
    rows_ = std::move(rows);
    return;
  }
  rows_.reserve(rows_.size() + rows.size());
  for (CResultRow& row : rows) rows_.push_back(std::move(row));
  rows.clear();
}

// ---- Sort ----

namespace {

// One key of one row, classified once before sorting so that most comparisons are one
// integer comparison in this compact table instead of a visit to the row's text.
struct SortKey {
  // Text: its first 16 bytes, big-endian, zero-padded; a difference there decides in
  // byte order. Digit string: its value when it has at most 19 significant digits, else
  // kLongNumber (second word 0).
  std::uint64_t prefix;
  std::uint64_t prefix2;
  const char* data;
  std::uint32_t size;
  // Leading zeros of a digit string, or -1 for any other text.
  std::int32_t zeros;
};

constexpr std::uint64_t kLongNumber = ~std::uint64_t{0};

SortKey Classify(const std::string& text) {
  SortKey key{0, 0, text.data(), static_cast<std::uint32_t>(text.size()), -1};
  if (sql::IsDigitString(text)) {
    std::uint32_t z = 0;
    while (z < key.size && text[z] == '0') ++z;
    key.zeros = static_cast<std::int32_t>(z);
    if (key.size - z > 19) {
      key.prefix = kLongNumber;
    } else {
      for (std::uint32_t i = z; i < key.size; ++i) key.prefix = key.prefix * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
  } else {
    for (std::uint32_t i = 0; i < 8; ++i)
      key.prefix = (key.prefix << 8) | (i < key.size ? static_cast<unsigned char>(text[i]) : 0u);
    for (std::uint32_t i = 8; i < 16; ++i)
      key.prefix2 = (key.prefix2 << 8) | (i < key.size ? static_cast<unsigned char>(text[i]) : 0u);
  }
  return key;
}

int CompareKeys(const SortKey& a, const SortKey& b) {
  const bool aNumber = a.zeros >= 0;
  const bool bNumber = b.zeros >= 0;
  if (aNumber && bNumber) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
    if (a.prefix != kLongNumber) return 0;
    const std::uint32_t la = a.size - static_cast<std::uint32_t>(a.zeros);
    const std::uint32_t lb = b.size - static_cast<std::uint32_t>(b.zeros);
    if (la != lb) return la < lb ? -1 : 1;
    return std::memcmp(a.data + a.zeros, b.data + b.zeros, la);
  }
  if (!aNumber && !bNumber) {
    if (a.prefix != b.prefix) return a.prefix < b.prefix ? -1 : 1;
    if (a.prefix2 != b.prefix2) return a.prefix2 < b.prefix2 ? -1 : 1;
    return platform::CompareBytes(std::string_view(a.data, a.size), std::string_view(b.data, b.size));
  }
  // A number and another text: the text goes before all numbers when its first byte sorts
  // before '0', else after them. (Comparing such pairs byte by byte would make the order
  // circular: 9 < 10 numerically, "10" < "1x" and "1x" < "9" by bytes.)
  const SortKey& text = aNumber ? b : a;
  const bool textFirst = static_cast<unsigned char>(text.data[0]) < '0';
  return (textFirst == aNumber) ? 1 : -1;
}

}  // namespace

void CResultTable::Sort(const std::vector<std::string>& keys,
                        const std::vector<std::uint32_t>& directions) {
  if (keys.size() != directions.size()) throw COmbrixSQLSortException();
  if (keys.empty() || rows_.size() < 2) return;

  const std::size_t k = keys.size();
  const std::size_t n = rows_.size();
  std::vector<SortKey> table(n * k);
  const ResultLayout* layout = nullptr;
  std::vector<std::int32_t> slots(k);
  for (std::size_t r = 0; r < n; ++r) {
    const CResultRow& row = rows_[r];
    if (row.Layout() != layout || layout == nullptr) {
      layout = row.Layout();
      for (std::size_t j = 0; j < k; ++j) {
        slots[j] = layout ? layout->Find(keys[j]) : -1;
        if (slots[j] < 0) throw COmbrixSQLNoSuchFieldException(keys[j]);
      }
    }
    for (std::size_t j = 0; j < k; ++j)
      table[r * k + j] = Classify(row.ValueOfSlot(static_cast<std::size_t>(slots[j])));
  }

  std::vector<std::uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    const SortKey* ka = &table[a * k];
    const SortKey* kb = &table[b * k];
    for (std::size_t j = 0; j < k; ++j) {
      const int c = CompareKeys(ka[j], kb[j]);
      if (c != 0) return directions[j] != 0 ? c < 0 : c > 0;
    }
    return false;
  });

  std::vector<CResultRow> sorted;
  sorted.reserve(n);
  for (std::uint32_t i : order) sorted.push_back(std::move(rows_[i]));
  rows_ = std::move(sorted);
}

}  // namespace sql
