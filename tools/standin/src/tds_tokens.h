// Writers for the tokens of a tabular result: LOGINACK, ENVCHANGE, INFO/ERROR, result
// sets (COLMETADATA/ROW), RETURNSTATUS and the DONE family.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/standin/src/collation.h"
#include "tools/standin/src/messages.h"
#include "tools/standin/src/wire.h"

namespace standin {

// TDS versions as they appear in LOGINACK (big-endian on the wire).
inline constexpr std::uint32_t kTds71 = 0x71000001;
inline constexpr std::uint32_t kTds72 = 0x72090002;
inline constexpr std::uint32_t kTds73A = 0x730A0003;
inline constexpr std::uint32_t kTds73B = 0x730B0003;
inline constexpr std::uint32_t kTds74 = 0x74000004;

// DONE status bits.
inline constexpr std::uint16_t kDoneFinal = 0x0000;
inline constexpr std::uint16_t kDoneMore = 0x0001;
inline constexpr std::uint16_t kDoneError = 0x0002;
inline constexpr std::uint16_t kDoneCount = 0x0010;
inline constexpr std::uint16_t kDoneAttn = 0x0020;
inline constexpr std::uint16_t kDoneSrvError = 0x0100;

// Current-command values of DONE tokens: SELECT and EXECUTE as SQL Server marks them;
// other statements carry 0 (clients read only the status bits and the count).
inline constexpr std::uint16_t kCmdNone = 0x00;
inline constexpr std::uint16_t kCmdSelect = 0xC1;
inline constexpr std::uint16_t kCmdExecute = 0xE0;

// Column types as SQL Server sends them: nvarchar(n), varchar(n) in the collation's code
// page, int/smallint/tinyint, and sql_variant (what SERVERPROPERTY returns).
enum class ColumnType { NVarChar, VarChar, Int, SmallInt, TinyInt, Variant };

struct Column {
    std::string Name;
    ColumnType Type = ColumnType::NVarChar;
    std::uint16_t MaxChars = 128;  // characters (nvarchar), bytes (varchar)
};

struct Value {
    std::optional<std::string> Text;  // nullopt is NULL (text and sql_variant columns)
    std::int32_t Number = 0;          // for integer columns
    // In a sql_variant column: the value's own type, NVarChar (text) or an integer type.
    ColumnType Base = ColumnType::NVarChar;
};

class TokenWriter {
public:
    explicit TokenWriter(std::uint32_t tdsVersion, const Collation& collation = Collation::Default())
        : version_(tdsVersion), collation_(collation) {}

    void LoginAck(std::string_view program, std::uint32_t version);
    void EnvDatabase(std::string_view now, std::string_view before);
    void EnvLanguage(std::string_view now, std::string_view before);
    void EnvPacketSize(std::uint32_t now, std::uint32_t before);
    // ENVCHANGE 7: the server collation's five bytes.
    void EnvCollation();
    // ENVCHANGE 18: the session was reset as the request's RESETCONNECTION bit asked.
    void EnvResetAck();
    void Message(const ServerMessage& m, std::string_view serverName);
    void ColumnMetadata(const std::vector<Column>& columns);
    void Row(const std::vector<Column>& columns, const std::vector<Value>& values);
    void ReturnStatus(std::int32_t value);
    // RETURNVALUE of an int OUTPUT parameter (the handle of sp_prepare/sp_prepexec).
    void ReturnValueInt(std::uint16_t ordinal, std::string_view name, std::int32_t value);
    void Done(std::uint16_t status, std::uint16_t cmd, std::uint64_t rows);
    void DoneProc(std::uint16_t status, std::uint16_t cmd, std::uint64_t rows);
    void DoneInProc(std::uint16_t status, std::uint16_t cmd, std::uint64_t rows);

    std::size_t Size() const { return w_.Size(); }
    Bytes Take() { return w_.Take(); }

private:
    void DoneToken(std::uint8_t token, std::uint16_t status, std::uint16_t cmd, std::uint64_t rows);
    void EnvStrings(std::uint8_t type, std::string_view now, std::string_view before);
    void IntValue(ColumnType type, std::int32_t number);

    std::uint32_t version_;
    const Collation& collation_;
    ByteWriter w_;
};

}  // namespace standin
