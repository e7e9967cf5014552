#include "host/font_object.h"

#include <algorithm>
#include <cmath>

#include "host/error.h"

namespace host {

FontSubscription::FontSubscription(FontSubscription&& other) noexcept : font_(std::move(other.font_)), id_(other.id_) {
    other.font_.reset();
}

FontSubscription& FontSubscription::operator=(FontSubscription&& other) noexcept {
    if (this != &other) {
        reset();
        font_ = std::move(other.font_);
        id_ = other.id_;
        other.font_.reset();
    }
    return *this;
}

FontSubscription::~FontSubscription() { reset(); }

void FontSubscription::reset() {
    if (auto font = font_.lock()) font->Unsubscribe(id_);
    font_.reset();
}

FontObject::FontObject(FontDesc desc) : desc_(std::move(desc)) {
    if (desc_.Bold != (desc_.Weight >= 600)) desc_.Weight = desc_.Bold ? 700 : 400;
}

FontRef FontObject::Create(FontDesc desc) { return std::make_shared<FontObject>(std::move(desc)); }

FontRef FontObject::Clone() const { return Create(desc_); }

void FontObject::SetName(const std::wstring& value) {
    desc_.Name = value;
    Notify(L"Name");
}

void FontObject::SetSize(double points) {
    if (!(points > 0) || points > 2160 || !std::isfinite(points))
        throw Error(ErrorNumber::InvalidProcedureCall, L"Invalid font size");
    desc_.Size = points;
    Notify(L"Size");
}

void FontObject::SetWeight(int16_t value) {
    desc_.Weight = value;
    desc_.Bold = value >= 600;
    Notify(L"Weight");
}

void FontObject::SetBold(bool value) {
    desc_.Bold = value;
    desc_.Weight = value ? 700 : 400;
    Notify(L"Bold");
}

void FontObject::SetItalic(bool value) {
    desc_.Italic = value;
    Notify(L"Italic");
}

void FontObject::SetUnderline(bool value) {
    desc_.Underline = value;
    Notify(L"Underline");
}

void FontObject::SetStrikethrough(bool value) {
    desc_.Strikethrough = value;
    Notify(L"Strikethrough");
}

void FontObject::SetCharset(int16_t value) {
    desc_.Charset = value;
    Notify(L"Charset");
}

FontSubscription FontObject::Subscribe(Handler handler) {
    const uint64_t id = nextId_++;
    handlers_.emplace_back(id, std::move(handler));
    return FontSubscription(weak_from_this(), id);
}

void FontObject::Unsubscribe(uint64_t id) {
    std::erase_if(handlers_, [id](const auto& h) { return h.first == id; });
}

void FontObject::Notify(const std::wstring& propertyName) {
    // A handler may subscribe or unsubscribe while we walk: call a snapshot, skipping
    // handlers whose subscription ended meanwhile.
    std::vector<uint64_t> ids;
    ids.reserve(handlers_.size());
    for (const auto& h : handlers_) ids.push_back(h.first);
    auto keepAlive = shared_from_this();
    for (uint64_t id : ids) {
        auto it = std::find_if(handlers_.begin(), handlers_.end(), [id](const auto& h) { return h.first == id; });
        if (it == handlers_.end()) continue;
        Handler handler = it->second;
        handler(propertyName);
    }
}

}  // namespace host
