// The two messages that open a session: PRELOGIN (with the encryption negotiation) and
// LOGIN7 (the login record with user, password and database).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/standin/src/wire.h"

namespace standin {

struct Prelogin {
    std::optional<std::uint8_t> Encryption;  // what the client asked for
    bool HasVersion = false;
};

// PRELOGIN's ENCRYPTION values.
inline constexpr std::uint8_t kEncryptOff = 0x00;     // available, not wanted
inline constexpr std::uint8_t kEncryptOn = 0x01;      // available and wanted
inline constexpr std::uint8_t kEncryptNotSup = 0x02;  // not available
inline constexpr std::uint8_t kEncryptReq = 0x03;     // required

// The server's setting: SQL Server's default encrypts the login packet only, "force
// encryption" the whole session; "none" is a server without a certificate.
enum class EncryptionMode { LoginOnly, Force, None };
// What the connection then does.
enum class Protection { None, LoginOnly, Full };

struct EncryptionAnswer {
    std::uint8_t Answer = kEncryptNotSup;  // the ENCRYPTION value of the server's PRELOGIN
    Protection Protect = Protection::None;
    bool Terminate = false;  // the two sides cannot agree: the connection ends after the answer
};

// SQL Server's negotiation table. A client without an ENCRYPTION option counts as one
// that cannot encrypt; the client-certificate bit (0x80) is not looked at.
EncryptionAnswer NegotiateEncryption(EncryptionMode server, std::optional<std::uint8_t> client);

// Parses the option table of a client's PRELOGIN; nullopt with the reason in `error`
// when malformed.
std::optional<Prelogin> ParsePrelogin(ByteSpan payload, std::string& error);
// The server's PRELOGIN answer: version, the ENCRYPTION value, no instance, no MARS.
Bytes BuildPreloginAnswer(std::uint32_t serverVersion, std::uint8_t encryption);

struct Login7 {
    std::uint32_t TdsVersion = 0;  // as in LOGINACK, e.g. 0x74000004
    std::uint32_t PacketSize = 0;
    std::string HostName;
    std::string UserName;
    std::string Password;
    std::string AppName;
    std::string ServerName;
    std::string LibraryName;
    std::string Language;
    std::string Database;
    bool IntegratedSecurity = false;
};

// Parses a LOGIN7 record: every offset/length pair is checked against the record. nullopt
// with the reason in `error` when it does not fit.
std::optional<Login7> ParseLogin7(ByteSpan payload, std::string& error);

// The LOGIN7 password scrambling (nibble swap, then XOR 0xA5), both ways.
std::uint8_t ScramblePasswordByte(std::uint8_t b);
std::uint8_t UnscramblePasswordByte(std::uint8_t b);

// Builds a LOGIN7 record, for tests and for the server's own checks of its parser.
Bytes BuildLogin7(const Login7& login);

}  // namespace standin
