#include "tools/standin/src/messages.h"

#include <iterator>

namespace standin {
namespace {

constexpr bool InOrderOfIds() {
    for (std::size_t i = 0; i < std::size(kMessages); ++i)
        if (static_cast<std::size_t>(kMessages[i].Id) != i) return false;
    return std::size(kMessages) == static_cast<std::size_t>(MessageId::NotSupported) + 1;
}
static_assert(InOrderOfIds(), "kMessages lists every MessageId once, in the enum's order");

}  // namespace

ServerMessage MakeMessage(MessageId id, std::initializer_list<std::string_view> arguments) {
    const MessageDefinition& definition = Definition(id);
    ServerMessage message;
    message.Number = definition.Number;
    message.Severity = definition.Severity;
    const std::string_view text = definition.Text;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t n = i + 1 < text.size() ? static_cast<std::size_t>(text[i + 1] - '1') : arguments.size();
        if (text[i] == '%' && n < arguments.size()) {
            message.Text += *(arguments.begin() + n);
            ++i;
        } else {
            message.Text += text[i];
        }
    }
    return message;
}

}  // namespace standin
