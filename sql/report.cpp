// Report writer: a result table as comma- or tab-separated text, an HTML table or XML.
//
// Each mode is a fixed set of pieces (head, credit and statement lines, row and cell
// brackets, tail). HTML declares its charset and escapes names, values and the
// statement; XML escapes values and the statement (blanking what XML cannot carry),
// turns each column name into a valid element name, and stays a document without rows;
// the comma form quotes a cell that holds a comma, a double quote or a line break.
#include <cstdio>

#include "common/escape.h"
#include "sql/result.h"

namespace sql {

const char CResultTable::kCreditText[] = "Content report generated from the player's catalogue";

namespace {

struct Pieces {
  const char* head;
  const char* creditClose;
  const char* queryClose;
  const char* rowOpen;
  const char* rowClose;
  const char* cellOpen;
  const char* cellClose;
  const char* tail;
};

constexpr Pieces kComma = {"", "\n\n", "\n\n", "", "\n", "", ",", ""};
constexpr Pieces kTab = {"", "\n\n", "\n\n", "", "\n", "", "\t", ""};
constexpr Pieces kHtml = {
    "<!-- Replace this _OMBRIXHTMLSTYLEBLOCK_ with your own styles -->\n"
    "<style>TD.omsqlcell { font-family: tahoma, verdana, arial; font-size: 10pt; }</style>\n"
    "<!-- _ENDOMBRIXHTMLSTYLEBLOCK_ -->\n"
    "<meta charset=\"utf-8\">\n"
    "<table class=omsqltable>\n",
    "</td></tr>", "</td></tr>", "<tr class=omsqlrow>", "</tr>\n", "<td class=omsqlcell>", "</td>",
    "</table>\n"};
constexpr Pieces kXml = {"<table>\n", "</credit>", "</query>", "<item>", "</item>\n", "", "", "</table>\n"};

// & first, then < and >; quotes stay. XML also takes no control byte and nothing that is
// not UTF-8.
void WriteEscaped(CReportSink& out, std::string_view text, bool xml) {
  out.WriteString(xml ? XmlEscapeText(text) : HtmlEscapeText(text));
}

void WriteQuotedIfNeeded(CReportSink& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.WriteString(text);
    return;
  }
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  out.WriteString(quoted);
}

// A column name as an XML element name: letters, digits, '_', '-' and '.' stay, any other
// byte becomes '_', and a name that does not start with a letter or '_' gets a '_' first.
std::string XmlName(std::string_view name) {
  auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  std::string out;
  out.reserve(name.size() + 1);
  if (name.empty() || !isLetter(name.front())) out += '_';
  for (char c : name) out += (isLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.') ? c : '_';
  return out;
}

}  // namespace

void CResultTable::Write(char mode, CReportSink& out, std::vector<std::string>& columnNames,
                         std::string_view statementText) const {
  // An XML report stays a document: without rows it has no items.
  if (rows_.empty() && mode != 'x') {
    out.WriteString("no matches.");
    return;
  }
  if (columnNames.empty() && !rows_.empty()) {
    const CResultRow& first = rows_.front();
    for (std::size_t i = 0; i < first.Size(); ++i) columnNames.push_back(first.NameAt(i));
  }
  const Pieces* p = nullptr;
  switch (mode) {
    case 'c': p = &kComma; break;
    case 't': p = &kTab; break;
    case 'h': p = &kHtml; break;
    case 'x': p = &kXml; break;
    default:
      out.WriteString("bad mode.");
      return;
  }
  const bool html = mode == 'h';
  const bool xml = mode == 'x';
  const std::size_t n = columnNames.size();

  std::vector<std::string> elementNames;
  if (xml)
    for (const std::string& name : columnNames) elementNames.push_back(XmlName(name));

  auto writeCell = [&](std::string_view text, bool escape) {
    if (escape)
      WriteEscaped(out, text, xml);
    else if (mode == 'c')
      WriteQuotedIfNeeded(out, text);
    else
      out.WriteString(text);
  };

  char spanning[80] = "";
  if (html)
    std::snprintf(spanning, sizeof spanning, "<tr class=ojbsqlrow><td class=omsqlcell colspan=%zu>", n);

  out.WriteString(p->head);
  out.WriteString(xml ? "<credit>" : spanning);
  out.WriteString(kCreditText);
  out.WriteString(p->creditClose);
  out.WriteString(xml ? "<query>" : spanning);
  if (html || xml)
    WriteEscaped(out, statementText, xml);
  else
    out.WriteString(statementText);
  out.WriteString(p->queryClose);

  if (!xml) {
    out.WriteString(p->rowOpen);
    for (const std::string& name : columnNames) {
      out.WriteString(p->cellOpen);
      writeCell(name, html);
      out.WriteString(p->cellClose);
    }
    out.WriteString(p->rowClose);
  }

  // Rows share their layout: look the columns up once per layout.
  const ResultLayout* layout = nullptr;
  std::vector<std::int32_t> slots(n, -1);
  for (const CResultRow& row : rows_) {
    if (row.Layout() != layout || layout == nullptr) {
      layout = row.Layout();
      for (std::size_t j = 0; j < n; ++j) slots[j] = layout ? layout->Find(columnNames[j]) : -1;
    }
    out.WriteString(p->rowOpen);
    for (std::size_t j = 0; j < n; ++j) {
      const std::string_view value =
          slots[j] < 0 ? std::string_view() : std::string_view(row.ValueOfSlot(static_cast<std::size_t>(slots[j])));
      if (xml) {
        out.WriteString("<");
        out.WriteString(elementNames[j]);
        out.WriteString(">");
        WriteEscaped(out, value, true);
        out.WriteString("</");
        out.WriteString(elementNames[j]);
        out.WriteString(">");
      } else {
        out.WriteString(p->cellOpen);
        writeCell(value, html);
        out.WriteString(p->cellClose);
      }
    }
    out.WriteString(p->rowClose);
  }
  out.WriteString(p->tail);
}

}  // namespace sql
