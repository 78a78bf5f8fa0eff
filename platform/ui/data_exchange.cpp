#include "platform/ui/data_exchange.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/paths/paths.h"
#include "platform/text/text.h"

namespace platform {

namespace {

// A whole decimal number with an optional sign and blanks around it.
bool ParseLong(const std::string& text, long long& out) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  std::size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i == t.size()) return false;
  for (std::size_t k = i; k < t.size(); ++k) {
    if (t[k] < '0' || t[k] > '9') return false;
  }
  errno = 0;
  out = std::strtoll(t.c_str(), nullptr, 10);
  return errno != ERANGE;
}

}  // namespace

std::string DataExchange::FieldName(int id) const {
  const platform::Control* c = window_.GetDlgItem(id);
  return c != nullptr ? c->Name() : std::to_string(id);
}

void DataExchange::Fail(int id, std::string message) { throw DataExchangeRefusal{id, std::move(message)}; }

void DataExchange::Text(int id, std::string& value, std::size_t maxBytes) {
  auto& c = ControlOf<platform::Control>(id);
  if (!save_) {
    c.SetText(value);
    return;
  }
  if (maxBytes > 0 && c.GetText().size() > maxBytes) {
    Fail(id, "Please enter no more than " + std::to_string(maxBytes) + " characters in \"" + FieldName(id) + "\".");
  }
  value = c.GetText();
}

void DataExchange::Path(int id, std::string& value) {
  auto& c = ControlOf<platform::Control>(id);
  if (save_) {
    value = PathFromShown(c.GetText(), value);
  } else {
    c.SetText(ShownPath(value));
  }
}

void DataExchange::Int(int id, int& value) { Int(id, value, INT_MIN, INT_MAX); }

void DataExchange::Int(int id, int& value, int min, int max) {
  auto& c = ControlOf<platform::Control>(id);
  if (!save_) {
    c.SetText(std::to_string(value));
    return;
  }
  long long n = 0;
  if (!ParseLong(c.GetText(), n) || n < min || n > max) {
    if (min == INT_MIN && max == INT_MAX) Fail(id, "Please enter an integer in \"" + FieldName(id) + "\".");
    Fail(id, "Please enter an integer between " + std::to_string(min) + " and " + std::to_string(max) + " in \"" +
                 FieldName(id) + "\".");
  }
  value = static_cast<int>(n);
}

void DataExchange::UInt(int id, std::uint32_t& value, std::uint32_t min, std::uint32_t max) {
  auto& c = ControlOf<platform::Control>(id);
  if (!save_) {
    c.SetText(std::to_string(value));
    return;
  }
  long long n = 0;
  if (!ParseLong(c.GetText(), n) || n < static_cast<long long>(min) || n > static_cast<long long>(max)) {
    Fail(id, "Please enter an integer between " + std::to_string(min) + " and " + std::to_string(max) + " in \"" +
                 FieldName(id) + "\".");
  }
  value = static_cast<std::uint32_t>(n);
}

void DataExchange::Check(int id, int& state) {
  auto& b = ControlOf<ButtonControl>(id);
  if (save_) {
    state = b.GetCheck();
  } else {
    b.SetCheck(state);
  }
}

void DataExchange::Radio(int firstId, int& index) {
  std::vector<ButtonControl*> group = window_.RadioGroup(firstId);
  if (group.empty()) throw std::out_of_range("no radio group at " + std::to_string(firstId));
  if (save_) {
    index = -1;
    for (std::size_t i = 0; i < group.size(); ++i) {
      if (group[i]->GetCheck() != 0) {
        index = static_cast<int>(i);
        break;
      }
    }
    return;
  }
  for (std::size_t i = 0; i < group.size(); ++i) group[i]->SetCheck(static_cast<int>(i) == index ? 1 : 0);
}

void DataExchange::ListIndex(int id, int& index) {
  auto& l = ControlOf<ListControl>(id);
  if (save_) {
    index = l.GetCurSel();
  } else {
    l.SetCurSel(index);
  }
}

void DataExchange::ComboText(int id, std::string& value) {
  auto& l = ControlOf<ListControl>(id);
  if (save_) {
    value = l.GetText();
    return;
  }
  if (l.tmpl().Has(kStyleDropDownList)) {
    if (l.SelectString(value) < 0) l.SetCurSel(-1);
  } else {
    l.SetText(value);
  }
}

void DataExchange::SliderPos(int id, int& pos) {
  auto& s = ControlOf<SliderControl>(id);
  if (save_) {
    pos = s.GetPos();
  } else {
    s.SetPos(pos);
  }
}

}  // namespace platform
