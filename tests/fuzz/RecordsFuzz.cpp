// Feeds arbitrary bytes to every reader of the domain records. The first byte chooses the reader, the
// rest is its input. Readers may refuse input with EQuillmarError; they must never crash, hang,
// allocate without bound or raise anything else, and whatever they accept must save and load again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/Base64.h"
#include "base/Exception.h"
#include "base/MemoryStream.h"
#include "model/qmCategory.h"
#include "model/qmField.h"
#include "model/qmRepositoryEntry.h"

namespace {

using namespace quillmar;

class TTextClipboard : public TqmClipboard {
public:
  explicit TTextClipboard(std::string text) : text_(std::move(text)) {}
  std::string GetText() override { return text_; }
  void SetText(const std::string& t) override { text_ = t; }

private:
  std::string text_;
};

// Whatever a reader accepted must save and load back without error; a category keeps its field count
// (each field has its own length), an entry may not (its field loop scans the text).
template <typename Item>
void SaveAndReload(const Item& item) {
  TMemoryStream stream;
  item.SaveToStream(stream);
  stream.SetPosition(0);
  Item again;
  again.LoadFromStream(stream);
  if (std::is_same_v<Item, TqmCategory> && again.Fields().Count() != item.Fields().Count()) std::abort();
}

void Run(uint8_t mode, std::string_view input) {
  switch (mode % 9) {
    case 0: {
      TqmField f;
      f.ParseText(input);
      (void)f.GetText();
      break;
    }
    case 1: {
      TqmCategory c;
      c.ParseText(input);
      SaveAndReload(c);
      break;
    }
    case 2: {
      TqmRepositoryEntry e;
      e.ParseText(input);
      SaveAndReload(e);
      (void)e.DisplayPath();
      break;
    }
    case 3: {
      TMemoryStream s(input);
      TqmCategory c;
      try {
        c.LoadFromStream(s);
      } catch (const EStreamError&) {
        return;
      }
      SaveAndReload(c);
      break;
    }
    case 4: {
      TMemoryStream s(input);
      TqmField f;
      try {
        f.LoadFromStream(s);
      } catch (const EStreamError&) {
      }
      break;
    }
    case 5: {
      TMemoryStream s(input);
      TqmRepositoryEntry e;
      e.LoadFromStream(s);
      SaveAndReload(e);
      break;
    }
    case 6: {
      TTextClipboard clip{std::string(input)};
      TqmCategory c;
      try {
        c.PasteFromClipboard(clip);
      } catch (const EQuillmarError&) {
        return;
      }
      c.CopyToClipboard(clip);
      TqmCategory again;
      again.PasteFromClipboard(clip);
      break;
    }
    case 7: {
      TTextClipboard clip{std::string(input)};
      TqmRepositoryEntry e;
      try {
        e.PasteFromClipboard(clip);
      } catch (const EQuillmarError&) {
        return;
      }
      break;
    }
    case 8: {
      std::string decoded = Base64Decode(input);
      if (decoded.size() > input.size()) std::abort();
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Run(data[0], std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  return 0;
}
