// Fuzz target for the attribute block reader that the simulated player and the driver
// share. Beyond "no crash, no sanitizer report" it checks that a block the strict parse
// takes is whole and well-formed to the reader too, and that what it took, written back,
// is read again as the same attributes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/vendorsdk/attribute_block.h"
#include "platform/vendorsdk/vendorsdk.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::AttributeBlockReader reader(data, size);
  platform::AttributeEntry entry;
  bool allWellFormed = true;
  std::size_t entries = 0;
  while (reader.Next(&entry)) {
    const auto* begin = reinterpret_cast<const char*>(data);
    Check(entry.name.data() >= begin && entry.value.data() + entry.value.size() <= begin + size);
    allWellFormed = platform::ReadAttributeValue(entry).wellFormed && allWellFormed;
    ++entries;
  }

  std::vector<platform::SdkAttribute> attrs;
  if (!platform::ParseAttributeBlock(data, size, &attrs)) return 0;
  Check(reader.Whole() && allWellFormed && attrs.size() == entries);

  platform::AttributeBlockWriter writer;
  for (const platform::SdkAttribute& a : attrs) {
    if (a.type == platform::kSdkAttrNumber) writer.AddNumber(a.name, a.number);
    else if (a.type == platform::kSdkAttrText) writer.AddRaw(a.type, a.name, a.text);
    else writer.AddText(a.name, a.text);
  }
  const std::vector<std::uint8_t> written = writer.Finish();
  std::vector<platform::SdkAttribute> again;
  Check(platform::ParseAttributeBlock(written.data(), written.size(), &again));
  Check(again.size() == attrs.size());
  for (std::size_t i = 0; i < attrs.size(); ++i) {
    Check(again[i].type == attrs[i].type && again[i].name == attrs[i].name && again[i].text == attrs[i].text &&
          again[i].number == attrs[i].number);
  }
  return 0;
}
