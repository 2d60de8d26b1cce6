#include "tags/frameview.h"

namespace velmar {

TFrameView ViewOf(TID3v2Frame& frame, const std::string& frameID) {
    TFrameView view{frameID, frame.Kind(), frame.FrameHeader.Size};
    for (const TField& f : frame.Layout()) {
        TFieldValue& v = view.FieldStore[view.FieldCount++];
        v.Name = f.Name;
        std::visit(
            [&v](auto* member) {
                using T = std::remove_pointer_t<decltype(member)>;
                if constexpr (std::is_same_v<T, std::string>)
                    v.Value = std::string_view(*member);
                else if constexpr (std::is_same_v<T, TBytes>)
                    v.Value = std::span<const uint8_t>(*member);
                else
                    v.Value = int64_t(*member);
            },
            f.Member);
    }
    return view;
}

const TFieldValue* TFrameView::Field(std::string_view name) const {
    for (const TFieldValue& f : Fields())
        if (name == f.Name) return &f;
    return nullptr;
}

std::string_view TFrameView::Text(std::string_view name) const {
    const TFieldValue* f = Field(name);
    return f && std::holds_alternative<std::string_view>(f->Value) ? std::get<std::string_view>(f->Value)
                                                                   : std::string_view();
}

int64_t TFrameView::Number(std::string_view name) const {
    const TFieldValue* f = Field(name);
    return f && std::holds_alternative<int64_t>(f->Value) ? std::get<int64_t>(f->Value) : 0;
}

std::span<const uint8_t> TFrameView::Bytes(std::string_view name) const {
    const TFieldValue* f = Field(name);
    return f && std::holds_alternative<std::span<const uint8_t>>(f->Value)
               ? std::get<std::span<const uint8_t>>(f->Value)
               : std::span<const uint8_t>();
}

}  // namespace velmar
