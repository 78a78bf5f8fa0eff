// The SELECT statement: tree reading, row building, joins, duplicates, sorting (see
// select.h).
#include "sql/select.h"

#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "sql/sql_exception.h"
#include "sql/values.h"

namespace sql {

namespace ps = platform::sqlparser;

CSelectStatement::CSelectStatement(std::string sql, std::shared_ptr<const ps::Statement> tree,
                                   CTableSource* tables)
    : CSQLStatement(std::move(sql)), tree_(std::move(tree)), source_(tables) {}

CSelectStatement::~CSelectStatement() = default;

// ---- Build ----

void CSelectStatement::Build() {
  outputNames_.clear();
  selectExpressions_.clear();
  tableNames_.clear();
  condition_.reset();
  columnList_.clear();
  secondCondition_.reset();
  orderKeys_.clear();
  orderDirections_.clear();
  if (!tree_) throw std::invalid_argument("CSelectStatement: no statement tree");
  const ps::Statement& st = *tree_;

  distinct_ = st.Distinct();

  const auto& list = st.SelectList();
  for (std::int32_t i = 1; i <= list.Count(); ++i) {
    const ps::SelectItem& item = list.Item(i);
    std::unique_ptr<CExpItem> expr = BuildExpression(item);
    const bool star = dynamic_cast<CExpSelectStar*>(expr.get()) != nullptr;
    std::string name = item.Alias();
    if (name.empty() && expr) name = expr->GetText();
    selectExpressions_.push_back(std::move(expr));
    if (star) {
      outputNames_.clear();
      break;
    }
    outputNames_.push_back(std::move(name));
  }

  const auto& tables = st.Tables();
  for (std::int32_t i = 1; i <= tables.Count(); ++i) tableNames_.push_back(tables.Item(i).TableName());

  condition_ = BuildExpression(st.Where());

  const auto& columns = st.ColumnList();
  for (std::int32_t i = 1; i <= columns.Count(); ++i)
    columnList_.push_back(columns.Item(i).TableName() + "." + columns.Item(i).ColumnName());

  secondCondition_ = BuildExpression(st.SecondCondition());

  const auto& order = st.OrderBy();
  for (std::int32_t i = 1; i <= order.Count(); ++i) {
    const ps::OrderItem& item = order.Item(i);
    const ps::ColumnRef& column = item.Column();
    orderKeys_.push_back(column.TableName().empty() ? column.ColumnName()
                                                    : column.TableName() + "." + column.ColumnName());
    orderDirections_.push_back(static_cast<std::uint32_t>(item.Ascending()));
  }
}

// ---- Result rows ----

// Turns a row into a CResultRow. The plan (which slot each select item fills, and the
// columns a select-all expands to) is made from the first row and kept for every row of
// the same shape.
class CSelectStatement::RowBuilder {
 public:
  RowBuilder(const std::vector<std::unique_ptr<CExpItem>>& expressions,
             const std::vector<std::string>& names)
      : expressions_(expressions), names_(names) {}

  CResultRow Build(CRow& row) {
    if (!planned_ || !(row.Shape() == shape_)) Plan(row);
    CResultRow out(layout_);
    for (const Step& step : steps_) {
      const std::string_view value =
          step.expression ? step.expression->ValueView(row) : row.FieldView(step.field, scratch_);
      out.ValueOfSlot(static_cast<std::size_t>(step.slot)).assign(value);
    }
    return out;
  }

 private:
  struct Step {
    std::int32_t slot;
    CExpItem* expression;  // null: a column of a select-all
    FieldSlot field;
  };

  void Plan(CRow& row) {
    planned_ = false;
    steps_.clear();
    auto layout = std::make_shared<ResultLayout>();
    for (std::size_t i = 0; i < expressions_.size(); ++i) {
      CExpItem* expression = expressions_[i].get();
      if (expression == nullptr) throw COmbrixSQLBadSelectExpressionException(static_cast<std::int32_t>(i));
      if (dynamic_cast<CExpSelectStar*>(expression) != nullptr) {
        const std::int32_t count = row.GetColumnCount();
        for (std::int32_t c = 0; c < count; ++c) {
          const std::string name = row.GetColumnName(c);
          const FieldSlot field = row.ResolveField(name);
          steps_.push_back(Step{layout->Add(name), nullptr, field});
        }
        continue;
      }
      // An item before a select-all has no output name.
      if (i >= names_.size()) throw COmbrixSQLBadSelectExpressionException(static_cast<std::int32_t>(i));
      const std::string& name = names_[i].empty() ? expression->GetText() : names_[i];
      steps_.push_back(Step{layout->Add(name), expression, FieldSlot{}});
    }
    layout_ = std::move(layout);
    shape_ = row.Shape();
    planned_ = true;
  }

  const std::vector<std::unique_ptr<CExpItem>>& expressions_;
  const std::vector<std::string>& names_;
  std::vector<Step> steps_;
  std::shared_ptr<const ResultLayout> layout_;
  RowShape shape_;
  bool planned_ = false;
  std::string scratch_;
};

namespace {

// Collects result rows; with DISTINCT drops a row whose names and values all equal those
// of a row kept before (byte for byte).
class RowCollector {
 public:
  explicit RowCollector(bool distinct)
      : distinct_(distinct), seen_(64, Hasher{this}, Equal{this}) {}

  void Add(CResultRow row) {
    rows_.push_back(std::move(row));
    if (!distinct_) return;
    hashes_.push_back(HashOf(rows_.back()));
    if (!seen_.insert(static_cast<std::uint32_t>(rows_.size() - 1)).second) {
      rows_.pop_back();
      hashes_.pop_back();
    }
  }

  std::vector<CResultRow>& Rows() { return rows_; }

 private:
  struct Hasher {
    const RowCollector* self;
    std::size_t operator()(std::uint32_t i) const { return self->hashes_[i]; }
  };
  struct Equal {
    const RowCollector* self;
    bool operator()(std::uint32_t a, std::uint32_t b) const {
      return SameRow(self->rows_[a], self->rows_[b]);
    }
  };

  static std::size_t HashOf(const CResultRow& row) {
    std::size_t h = row.Size();
    for (std::size_t i = 0; i < row.Size(); ++i) {
      const std::size_t v = std::hash<std::string_view>()(row.ValueAt(i));
      h ^= v + 0x9e3779b97f4a7c15ull + (h << 6) + (h >> 2);
    }
    return h;
  }

  static bool SameRow(const CResultRow& a, const CResultRow& b) {
    if (a.Size() != b.Size()) return false;
    const bool sameLayout = a.Layout() == b.Layout();
    for (std::size_t i = 0; i < a.Size(); ++i) {
      if (!sameLayout && a.NameAt(i) != b.NameAt(i)) return false;
      if (a.ValueAt(i) != b.ValueAt(i)) return false;
    }
    return true;
  }

  bool distinct_;
  std::vector<CResultRow> rows_;
  std::vector<std::size_t> hashes_;
  std::unordered_set<std::uint32_t, Hasher, Equal> seen_;
};

}  // namespace

// ---- Joins ----

// Nested loops over several tables, the first outermost, with an index on an inner table
// where the condition demands equality with an outer one.
class CSelectStatement::Join {
 public:
  Join(const std::vector<std::unique_ptr<CTable>>& tables, CExpItem* condition)
      : tables_(tables), condition_(condition), levels_(tables.size()) {
    rows_.reserve(tables.size());
    for (const auto& table : tables) rows_.emplace_back(0, table.get());
  }

  void Run(const std::function<void(CRow&)>& emit) {
    const std::size_t n = tables_.size();
    for (const auto& table : tables_)
      if (table->GetRowCount() == 0) return;  // the product is empty
    PlanIndexes();

    std::size_t k = 0;
    Start(0);
    for (;;) {
      std::int32_t index;
      if (Next(k, index)) {
        rows_[k].SetIndex(index);
        joined_.AddRow(&rows_[k]);
        if (k + 1 == n) {
          if (condition_ == nullptr || condition_->IsTrue(joined_) != 0) emit(joined_);
          joined_.RemoveRow();
        } else {
          Start(++k);
        }
      } else {
        if (k == 0) break;
        --k;
        joined_.RemoveRow();
      }
    }
  }

 private:
  struct Level {
    bool indexed = false;
    FieldSlot probe;  // in the joined row: the outer field whose value is looked up
    std::unordered_map<std::string, std::vector<std::int32_t>> index;
    const std::vector<std::int32_t>* bucket = nullptr;
    std::size_t position = 0;
  };

  void Start(std::size_t k) {
    Level& level = levels_[k];
    level.position = 0;
    if (!level.indexed) return;
    sql::LowerInto(joined_.FieldView(level.probe, scratch_), key_);
    auto it = level.index.find(key_);
    level.bucket = it == level.index.end() ? nullptr : &it->second;
  }

  bool Next(std::size_t k, std::int32_t& index) {
    Level& level = levels_[k];
    if (level.indexed) {
      if (level.bucket == nullptr || level.position >= level.bucket->size()) return false;
      index = (*level.bucket)[level.position++];
      return true;
    }
    if (level.position >= static_cast<std::size_t>(tables_[k]->GetRowCount())) return false;
    index = static_cast<std::int32_t>(level.position++);
    return true;
  }

  // Indexes are used only where they cannot change the outcome: every field of the
  // condition resolves (so no combination could fail on a name) and nothing in it can
  // fail on a value (a division), so skipping combinations skips nothing but false ones.
  void PlanIndexes() {
    if (condition_ == nullptr) return;
    for (CRow& row : rows_) joined_.AddRow(&row);
    struct Clear {
      CRowJoined& joined;
      ~Clear() {
        while (joined.GetRowCount() > 0) joined.RemoveRow();
      }
    } clear{joined_};

    bool safe = true;
    std::vector<const CExpItem*> pending{condition_};
    while (!pending.empty() && safe) {
      const CExpItem* node = pending.back();
      pending.pop_back();
      if (auto* op = dynamic_cast<const CExpBinOp*>(node)) {
        if (op->Kind() == ps::kArithmetic && op->OperatorChar() != '+' && op->OperatorChar() != '-' &&
            op->OperatorChar() != '*')
          safe = false;
        pending.push_back(op->Left());
        pending.push_back(op->Right());
      } else if (dynamic_cast<const CExpField*>(node) != nullptr) {
        try {
          joined_.ResolveField(node->Text());
        } catch (const COmbrixSQLException&) {
          safe = false;
        }
      }
    }
    if (!safe) return;

    std::vector<const CExpBinOp*> conjuncts;
    pending.assign(1, condition_);
    while (!pending.empty()) {
      const auto* op = dynamic_cast<const CExpBinOp*>(pending.back());
      pending.pop_back();
      if (op == nullptr) continue;
      if (op->Kind() == ps::kLogical && op->OperatorChar() == 'a') {
        pending.push_back(op->Right());
        pending.push_back(op->Left());
      } else {
        conjuncts.push_back(op);
      }
    }

    for (const CExpBinOp* op : conjuncts) {
      const bool comparison = op->Kind() == ps::kComparison ||
                              (op->Kind() == ps::kLogical && op->OperatorChar() != 'o');
      if (!comparison || op->OperatorChar() != '=') continue;
      if (dynamic_cast<const CExpField*>(op->Left()) == nullptr ||
          dynamic_cast<const CExpField*>(op->Right()) == nullptr)
        continue;
      FieldSlot a = joined_.ResolveField(op->Left()->Text());
      FieldSlot b = joined_.ResolveField(op->Right()->Text());
      if (a.row == b.row) continue;
      if (a.row > b.row) std::swap(a, b);
      Level& inner = levels_[static_cast<std::size_t>(b.row)];
      if (inner.indexed) continue;
      BuildIndex(*tables_[static_cast<std::size_t>(b.row)], b.column, inner.index);
      inner.probe = a;
      inner.indexed = true;
    }
  }

  void BuildIndex(CTable& table, std::int32_t column,
                  std::unordered_map<std::string, std::vector<std::int32_t>>& index) {
    const std::int32_t count = table.GetRowCount();
    index.reserve(static_cast<std::size_t>(count));
    for (std::int32_t r = 0; r < count; ++r) {
      sql::LowerInto(table.FieldView(r, column, scratch_), key_);
      index[key_].push_back(r);
    }
  }

  const std::vector<std::unique_ptr<CTable>>& tables_;
  CExpItem* condition_;
  std::vector<CRow> rows_;
  CRowJoined joined_;
  std::vector<Level> levels_;
  std::string scratch_;
  std::string key_;
};

// ---- Execute ----

void CSelectStatement::Execute(CResultTable& result) {
  std::vector<std::unique_ptr<CTable>> tables;
  for (const std::string& name : tableNames_) {
    std::unique_ptr<CTable> table = source_ ? source_->GetTable(name) : nullptr;
    if (!table) throw COmbrixSQLNoSuchTableException(name);
    table->Fill();
    tables.push_back(std::move(table));
  }
  if (tables.empty()) throw COmbrixSQLNoTablesSpecifiedException();

  RowBuilder builder(selectExpressions_, outputNames_);
  RowCollector collector(distinct_ != 0);
  CExpItem* condition = condition_.get();

  if (tables.size() == 1) {
    CRow row(0, tables[0].get());
    const std::int32_t count = tables[0]->GetRowCount();
    for (std::int32_t i = 0; i < count; ++i) {
      row.SetIndex(i);
      if (condition == nullptr || condition->IsTrue(row) != 0) collector.Add(builder.Build(row));
    }
  } else {
    Join join(tables, condition);
    join.Run([&](CRow& row) { collector.Add(builder.Build(row)); });
  }

  result.Append(std::move(collector.Rows()));
  if (!orderKeys_.empty()) result.Sort(orderKeys_, orderDirections_);
}

}  // namespace sql
