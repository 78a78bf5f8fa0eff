// Test support: every operation of the table called on any KernelDevice with arguments
// made from a running context, and its outcome (result, out fields, error, message)
// recorded in a comparable form. Two devices that should behave alike (a proxy and a
// local reference) are run through the same sequence and their outcomes compared.
//
// Argument rule: an item argument is the id the test named for that operation (by opcode,
// or by its thousand group: 4000 tracks, 8000 playlists ...), replaced by any id an
// earlier operation of the group handed back, so a run walks the device (the playlist
// created is renamed, then deleted); texts, numbers and records are made from the opcode.
#pragma once

#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "device/device_client_error.h"
#include "device/device_error.h"
#include "device/kernel_device.h"
#include "device/operations.h"

namespace optest {

struct Outcome {
  int opcode = 0;
  std::string result;  // the return value as text ("" for none)
  std::string outs;    // the out fields after the call
  std::string error;   // "code|source|detail" of a thrown error, "" when none

  bool operator==(const Outcome&) const = default;
};

inline std::string Describe(const device::KernelId& id) {
  char words[64];
  std::snprintf(words, sizeof words, "%u.%u.%u.%u:", id.word[0], id.word[1], id.word[2], id.word[3]);
  return std::string(words) + std::string(id.GetName());
}

inline std::string Describe(const device::TrackRecord& r) {
  std::string s;
  for (const auto* f : {&r.artist, &r.album, &r.title, &r.genre, &r.comment, &r.composer, &r.grouping, &r.extraText}) {
    s += f->GetText();
    s += '|';
  }
  s += r.path.GetText();
  for (long long v : {(long long)r.trackNumber, (long long)r.year, (long long)r.length, (long long)r.bitrate,
                      (long long)r.codec, (long long)r.fileSize, (long long)r.playOnly, (long long)r.extraWord1}) {
    s += '|' + std::to_string(v);
  }
  return s;
}

inline std::string Describe(const device::ContactRecord& c) {
  std::string s;
  for (const auto& f : c.field) {
    s += f.GetText();
    s += '|';
  }
  return s;
}

// What the arguments are made from; updated by every out field.
struct Context {
  std::map<int, device::KernelId> items;  // by opcode * 10 + argument index, by opcode, or by group
  device::KernelId ItemFor(int code, int index) const {
    for (int key : {code * 10 + index, code, code / 1000 * 1000}) {
      if (auto it = items.find(key); it != items.end()) return it->second;
    }
    return device::KernelId();
  }
  device::TrackRecord track;
  device::ContactRecord contact;
  std::string note = std::string(5000, 'n');  // longer than the block's note field
};

// One argument of a field type: Make gives the value passed (kept in `slot`), Out
// describes what an out field holds afterwards and feeds it into the context.
template <class F>
struct Arg;

template <device::KernelId device::DeviceRequestBlock::*M>
struct Arg<device::devop::ItemInField<M>> {
  device::KernelId slot;
  const device::KernelId& Make(Context& c, int code, int index) {
    slot = c.ItemFor(code, index);
    return slot;
  }
  void Out(Context&, std::string&) {}
};
template <device::KernelId device::DeviceRequestBlock::*M>
struct Arg<device::devop::ItemOutField<M>> {
  device::KernelId slot;
  device::KernelId before;
  int code = 0;
  device::KernelId& Make(Context&, int opcode, int) {
    code = opcode;
    slot = device::KernelId(static_cast<std::uint32_t>(opcode));  // travels both ways: the rest must come back
    slot.word[3] = 7;
    before = slot;
    return slot;
  }
  void Out(Context& c, std::string& outs) {
    outs += "[" + Describe(slot) + "]";
    if (slot != before && !slot.IsEmpty()) c.items[code / 1000 * 1000] = slot;
  }
};
template <device::FixedString256 device::DeviceRequestBlock::*M>
struct Arg<device::devop::TextInField<M>> {
  std::string slot;
  std::string_view Make(Context&, int code, int index) {
    slot = "Text " + std::to_string(code) + "/" + std::to_string(index);
    return slot;
  }
  void Out(Context&, std::string&) {}
};
template <device::FixedString256 device::DeviceRequestBlock::*M>
struct Arg<device::devop::TextOutField<M>> {
  device::FixedString256 slot;
  device::FixedString256& Make(Context&, int code, int) {
    slot.Set("before " + std::to_string(code));
    return slot;
  }
  void Out(Context&, std::string& outs) { outs += "[" + slot.Str() + "]"; }
};
template <std::int32_t device::DeviceRequestBlock::*M>
struct Arg<device::devop::IntInField<M>> {
  int Make(Context&, int code, int index) { return (code + index) % 5; }
  void Out(Context&, std::string&) {}
};
template <>
struct Arg<device::devop::WindowIn> {
  platform::HWND Make(Context&, int, int) { return 0; }
  void Out(Context&, std::string&) {}
};
template <>
struct Arg<device::devop::TrackIn> {
  device::TrackRecord slot;
  const device::TrackRecord& Make(Context& c, int code, int) {
    device::TrackRecord::Copy(slot, c.track);
    slot.comment.Set("comment " + std::to_string(code));
    return slot;
  }
  void Out(Context&, std::string&) {}
};
template <>
struct Arg<device::devop::TrackOut> {
  device::TrackRecord slot;
  device::TrackRecord& Make(Context&, int code, int) {
    slot.extraWord1 = static_cast<std::uint32_t>(code);  // not filled by devices: must come back
    return slot;
  }
  void Out(Context& c, std::string& outs) {
    outs += "[" + Describe(slot) + "]";
    device::TrackRecord::Copy(c.track, slot);
  }
};
template <>
struct Arg<device::devop::ContactIn> {
  device::ContactRecord slot;
  const device::ContactRecord& Make(Context&, int code, int) {
    for (std::size_t i = 0; i < std::size(slot.field); ++i) slot.field[i].Set("c" + std::to_string(code + i));
    return slot;
  }
  void Out(Context&, std::string&) {}
};
template <>
struct Arg<device::devop::ContactOut> {
  device::ContactRecord slot;
  device::ContactRecord& Make(Context&, int, int) { return slot; }
  void Out(Context&, std::string& outs) { outs += "[" + Describe(slot) + "]"; }
};
template <>
struct Arg<device::devop::NoteIn> {
  std::string_view Make(Context& c, int, int) { return c.note; }
  void Out(Context&, std::string&) {}
};

template <class T>
std::string ResultText(const T& v) {
  if constexpr (std::is_same_v<T, int>) {
    return std::to_string(v);
  } else {
    return v;
  }
}

inline std::string ErrorText(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const device::KernelDeviceClientException& x) {
    return std::to_string(x.code()) + "|" + x.source() + "|" + x.detail();
  } catch (const device::DeviceError& x) {
    return std::to_string(x.code()) + "|" + x.source() + "|" + x.detail();
  } catch (const std::exception& x) {
    return std::string("other|") + x.what();
  } catch (...) {
    return "unknown";
  }
}

template <class Unused, class... F>
struct Caller {
  template <class Method, std::size_t... I>
  static Outcome Call(device::KernelDevice& device, Method method, Context& c, int code, std::index_sequence<I...>) {
    std::tuple<Arg<F>...> args;
    Outcome o;
    o.opcode = code;
    try {
      if constexpr (std::is_void_v<decltype((device.*method)(std::get<I>(args).Make(c, code, int(I))...))>) {
        (device.*method)(std::get<I>(args).Make(c, code, int(I))...);
      } else {
        o.result = ResultText((device.*method)(std::get<I>(args).Make(c, code, int(I))...));
      }
      (std::get<I>(args).Out(c, o.outs), ...);
    } catch (...) {
      o.error = ErrorText(std::current_exception());
    }
    return o;
  }
};

// Calls every operation of the table once, in table order.
inline std::vector<Outcome> RunEveryOperation(device::KernelDevice& device, Context& context) {
  std::vector<Outcome> outcomes;
#define OPTEST_ROW(code, Name, R, Flow, ...)                                                       \
  outcomes.push_back(Caller<void DEVOP_TYPES(__VA_ARGS__)>::Call(                                  \
      device, &device::KernelDevice::Name, context, code,                                                  \
      std::make_index_sequence<DEVOP_COUNT(__VA_ARGS__)>()));
  KERNEL_DEVICE_OPERATIONS(OPTEST_ROW)
#undef OPTEST_ROW
  return outcomes;
}

// A client generated from the table like the proxy, whose requests run on a device in
// this process: the reference that a proxy's outcomes are compared with.
class LoopbackClient : public device::KernelDevice {
 public:
  explicit LoopbackClient(device::KernelDevice& target) : target_(target) {}
  std::vector<std::string> messages;  // information texts the proxy would show

#define OPTEST_LOOPBACK_ROW(code, Name, R, Flow, ...)                                    \
  ::device::devop::R::Type Name(DEVOP_PARAMS(__VA_ARGS__)) override {                            \
    return DEVOP_ROW(code, R, Flow, __VA_ARGS__)::Forward(                               \
        block_, [&] { Exchange(code, ::device::devop::Flow::kRaisesErrors); } DEVOP_COMMA_ARGS(__VA_ARGS__)); \
  }
  KERNEL_DEVICE_OPERATIONS(OPTEST_LOOPBACK_ROW)
#undef OPTEST_LOOPBACK_ROW

  int EnumFirstPlaylist(device::KernelId&) override { return 0; }
  int EnumNextPlaylist(device::KernelId&) override { return 0; }
  int EnumFirstPlaylistItem(const device::KernelId&, device::KernelId&) override { return 0; }
  int EnumNextPlaylistItem(const device::KernelId&, device::KernelId&) override { return 0; }

  int lastReplyCode = 0;
  std::string lastReplyText;

 private:
  void Exchange(int code, bool raises) {
    block_.opcode = code;
    target_.Dispatch(&block_);
    lastReplyCode = block_.replyCode;
    lastReplyText = block_.replyText.Str();
    if (!raises) return;
    if (block_.errorCode != 0) {
      throw device::KernelDeviceClientException(block_.errorCode, block_.errorTitle.Str(), block_.errorDetail.Str());
    }
    if (block_.messageFlag != 0) messages.push_back(block_.messageText.Str());
  }
  device::KernelDevice& target_;
  device::DeviceRequestBlock block_;
};

}  // namespace optest
