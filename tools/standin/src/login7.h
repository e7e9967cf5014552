// The two messages that open a session: PRELOGIN (answered with "encryption not
// supported") and LOGIN7 (the login record with user, password and database).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "wire.h"

namespace standin {

struct Prelogin {
  std::optional<std::uint8_t> encryption;  // what the client asked for
  bool has_version = false;
};

// Parses the option table of a client's PRELOGIN; nullopt with *error when malformed.
std::optional<Prelogin> ParsePrelogin(ByteSpan payload, std::string* error);
// The server's PRELOGIN answer: version, ENCRYPT_NOT_SUP, no instance, no MARS.
Bytes BuildPreloginAnswer(std::uint32_t server_version);

struct Login7 {
  std::uint32_t tds_version = 0;  // as in LOGINACK, e.g. 0x74000004
  std::uint32_t packet_size = 0;
  std::string host_name;
  std::string user_name;
  std::string password;
  std::string app_name;
  std::string server_name;
  std::string library_name;
  std::string language;
  std::string database;
  bool integrated_security = false;
};

// Parses a LOGIN7 record: every offset/length pair is checked against the record.
std::optional<Login7> ParseLogin7(ByteSpan payload, std::string* error);

// The LOGIN7 password scrambling (nibble swap, then XOR 0xA5), both ways.
std::uint8_t ScramblePasswordByte(std::uint8_t b);
std::uint8_t UnscramblePasswordByte(std::uint8_t b);

// Builds a LOGIN7 record, for tests and for the server's own checks of its parser.
Bytes BuildLogin7(const Login7& login);

}  // namespace standin
