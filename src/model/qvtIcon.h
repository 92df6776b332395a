#pragma once
// TqvtIcon: an icon kept in the Safe, as the icon browser lists it: its file name in the Safe (ending
// in ".ico") and the bytes of that ".ico" file. Below the user interface an icon is only its bytes;
// the UI makes a picture of them.
#include <string>

#include "base/Stream.h"

namespace quillmar {

class TqvtIcon {
public:
  TqvtIcon() = default;
  TqvtIcon(std::string name, std::string image) : name_(std::move(name)), image_(std::move(image)) {}

  const std::string& Name() const { return name_; }
  void SetName(const std::string& v) { name_ = v; }
  const std::string& Image() const { return image_; }
  void SetImage(std::string bytes) { image_ = std::move(bytes); }
  bool Empty() const { return image_.empty(); }

  // The image is the rest of the stream from its position.
  void LoadFromStream(TStream& stream);
  void SaveToStream(TStream& stream) const { stream.WriteString(image_); }

private:
  std::string name_;
  std::string image_;
};

}  // namespace quillmar
