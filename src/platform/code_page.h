#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/os_result.h"

namespace dpc {

// The system's ANSI code page, in which the server keeps its settings ticket.
class AnsiCodePage {
 public:
  virtual ~AnsiCodePage() = default;
  // GetACP: 1252 on Western European systems, 65001 where the system runs on UTF-8.
  virtual uint32_t Identifier() = 0;
  // The UTF-8 text in the code page; nullopt when a character has no exact form there (no
  // look-alike is substituted).
  virtual std::optional<std::string> FromUtf8(const std::string& utf8) = 0;
  // The code page's text in UTF-8; every byte has a form there, so an error means the system's
  // conversion itself failed.
  virtual OsResult<std::string> ToUtf8(const std::string& ansi) = 0;
  // The UTF-8 text in another code page (28591 for ISO-8859-1, 1252, 65001, ...); nullopt when a
  // character has no exact form there, or for a number that names no code page the system has.
  virtual std::optional<std::string> Encode(uint32_t codePage, const std::string& utf8) = 0;
};

}  // namespace dpc
