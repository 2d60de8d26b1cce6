#pragma once
// Every frame seen the same way, whatever its class: identifier, kind and the
// fields of its layout by name, each as text, number or bytes. Reports and windows
// read frames through views instead of asking for each class.
#include <array>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "tags/id3v2classes.h"

namespace velmar {

// A field of a frame as text, number or bytes. Texts and bytes point into the frame,
// so a view lives no longer than the frame it shows.
struct TFieldValue {
    const char* Name = "";
    std::variant<std::string_view, int64_t, std::span<const uint8_t>> Value;
};

// Every frame seen the same way: identifier, kind and fields by name.
struct TFrameView {
    std::string FrameID;
    TFrameKind Kind = TFrameKind::Other;
    int64_t Size = 0;  // of the body, as read or last written
    std::span<const TFieldValue> Fields() const { return {FieldStore.data(), FieldCount}; }
    const TFieldValue* Field(std::string_view name) const;        // null when the frame has none
    std::string_view Text(std::string_view name) const;           // a text field, else empty
    int64_t Number(std::string_view name) const;                  // a number field, else 0
    std::span<const uint8_t> Bytes(std::string_view name) const;  // a bytes field, else empty

    std::array<TFieldValue, TLayout::kMaxFields> FieldStore{};  // held in place: views are made per frame
    size_t FieldCount = 0;
};

// The view of a frame; `frameID` is the identifier it stands under in its tag.
TFrameView ViewOf(TID3v2Frame& frame, const std::string& frameID);

}  // namespace velmar
