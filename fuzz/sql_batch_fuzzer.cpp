// The stand-in's request bodies as the session reads them: SQL batches (ALL_HEADERS,
// UTF-16 text, the statement parser) and RPC calls. Properties:
//  - a batch gives statements or an error, never both and never neither (an empty batch
//    is no statements and no error);
//  - the UTF-16 decoding keeps the length: re-encoding gives as many code units as the
//    valid input had;
//  - the raw bytes as UTF-8 SQL go through the parser the same way.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "tools/standin/src/rpc.h"
#include "tools/standin/src/sql_parser.h"
#include "tools/standin/src/wire.h"

namespace {

void CheckBatch(const std::string& sql) {
    const standin::ParsedBatch batch = standin::ParseSqlBatch(sql);
    fuzz::Check(!(batch.Error && !batch.Statements.empty()), "a batch gave statements and an error");
    if (batch.Error) fuzz::Check(!batch.Error->Text.empty(), "a batch refused without a message");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const standin::ByteSpan payload(data, size);
    if (const auto body = standin::SkipAllHeaders(payload)) {
        fuzz::Check(body->size() <= payload.size(), "ALL_HEADERS skipping grew the message");
        const std::string sql = standin::Utf16LeToUtf8(*body);
        fuzz::Check(standin::Utf16Length(sql) == body->size() / 2, "UTF-16 decoding changed the text's length");
        CheckBatch(sql);

        std::string error, unsupported;
        const auto rpc = standin::ParseRpc(*body, error, unsupported);
        if (!rpc) fuzz::Check(!error.empty(), "an RPC refused without a reason");
    }
    CheckBatch(std::string(fuzz::Chars(data, size)));
    return 0;
}
