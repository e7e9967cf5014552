// A font the host hands out by reference: its attributes and a change notification
// that every holder can subscribe to.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace host {

struct FontDesc {
    std::wstring Name = L"Verdana";
    double Size = 8.25;  // points
    int16_t Weight = 400;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strikethrough = false;
    int16_t Charset = 0;

    bool operator==(const FontDesc&) const = default;
};

class FontObject;
using FontRef = std::shared_ptr<FontObject>;

// Ends a subscription when destroyed; move-only.
class FontSubscription {
public:
    FontSubscription() = default;
    FontSubscription(FontSubscription&& other) noexcept;
    FontSubscription& operator=(FontSubscription&& other) noexcept;
    FontSubscription(const FontSubscription&) = delete;
    FontSubscription& operator=(const FontSubscription&) = delete;
    ~FontSubscription();
    void reset();
    bool Active() const { return !font_.expired(); }

private:
    friend class FontObject;
    FontSubscription(std::weak_ptr<FontObject> font, uint64_t id) : font_(std::move(font)), id_(id) {}
    std::weak_ptr<FontObject> font_;
    uint64_t id_ = 0;
};

class FontObject : public std::enable_shared_from_this<FontObject> {
public:
    using Handler = std::function<void(const std::wstring& propertyName)>;

    static FontRef Create(FontDesc desc = {});
    FontRef Clone() const;  // a new object with the same attributes and no subscribers

    const FontDesc& Desc() const { return desc_; }
    const std::wstring& Name() const { return desc_.Name; }
    double Size() const { return desc_.Size; }
    int16_t Weight() const { return desc_.Weight; }
    bool Bold() const { return desc_.Bold; }
    bool Italic() const { return desc_.Italic; }
    bool Underline() const { return desc_.Underline; }
    bool Strikethrough() const { return desc_.Strikethrough; }
    int16_t Charset() const { return desc_.Charset; }

    // Every assignment notifies the subscribers with the attribute's name.
    void SetName(const std::wstring& value);
    void SetSize(double points);
    void SetWeight(int16_t value);  // 600 and above count as bold
    void SetBold(bool value);       // bold is weight 700, not bold 400
    void SetItalic(bool value);
    void SetUnderline(bool value);
    void SetStrikethrough(bool value);
    void SetCharset(int16_t value);

    [[nodiscard]] FontSubscription Subscribe(Handler handler);
    size_t SubscriberCount() const { return handlers_.size(); }

    // A description whose bold flag and weight disagree (a stored Bold True with weight
    // 400) is taken as the flag says, as SetBold would have left it: bold at 700, not
    // bold at 400. So what a font reports and how it draws always agree.
    explicit FontObject(FontDesc desc);

private:
    friend class FontSubscription;
    void Notify(const std::wstring& propertyName);
    void Unsubscribe(uint64_t id);

    FontDesc desc_;
    std::vector<std::pair<uint64_t, Handler>> handlers_;
    uint64_t nextId_ = 1;
};

}  // namespace host
