#include "i18n/language.h"

#include <charconv>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "i18n/languages.h"

namespace dpc {

namespace {

constexpr int kCommonAppData = 0x23;  // CSIDL_COMMON_APPDATA
constexpr char kTicket[] = "Tickets\\SYS_0000.xml";
constexpr char kLegacyTicketFolder[] = "\\Kelvra\\Kelvra Tarn\\Server\\";
constexpr char kSettingsTicketFolder[] = "\\Durvin\\Proof\\Server\\";

// A decimal locale identifier of the table, else English. Whitespace around the number is
// allowed: a pretty-printed ticket puts line breaks around an element's text.
uint32_t LcidOf(std::string_view code) {
  constexpr std::string_view blanks = " \t\r\n";
  const size_t first = code.find_first_not_of(blanks);
  if (first == std::string_view::npos) return kEnglishLcid;
  code = code.substr(first, code.find_last_not_of(blanks) - first + 1);
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(code.data(), code.data() + code.size(), value);
  if (error != std::errc() || end != code.data() + code.size()) return kEnglishLcid;
  return IsInterfaceLanguage(value) ? value : kEnglishLcid;
}

}  // namespace

LanguageSelector::LanguageSelector(LanguageSources sources)
    : sources_(std::move(sources)), tickets_(3) {}

void LanguageSelector::ResolvePaths() {
  if (tickets_[0].path.empty() && !sources_.controllerFolder.empty()) {
    std::string folder = sources_.controllerFolder;
    if (folder.back() != '\\') folder += '\\';
    tickets_[0].path = folder + kTicket;
  }
  // An unknown common folder leaves its tickets out (never a path relative to the current
  // folder), and is asked for again next time.
  if (tickets_[1].path.empty()) {
    std::string common = sources_.shell.SpecialFolderPath(kCommonAppData, false);
    while (!common.empty() && common.back() == '\\') common.pop_back();
    if (!common.empty()) {
      tickets_[1].path = common + kLegacyTicketFolder + kTicket;
      tickets_[2].path = common + kSettingsTicketFolder + kTicket;
    }
  }
}

void LanguageSelector::Read(Ticket& ticket, const FileStamp& stamp, const Translator& translator) {
  // The stamp is taken before the read: a rewrite during the read shows as a change next time.
  ticket.stamp = stamp;
  ticket.code.clear();
  ticket.failure.reset();
  ticket.reported = false;
  try {
    const auto root = sources_.xml.LoadDocumentElement(ticket.path);
    const auto system = root ? root->Child("System") : nullptr;
    if (!system) {
      ticket.failure = translator.Translate("The file has no System element.");
      return;
    }
    // A System element without CountryCode reads as an empty code: English.
    if (const auto code = system->Child("CountryCode")) ticket.code = code->Text();
  } catch (const std::exception& error) {
    ticket.failure = error.what();
  } catch (...) {
    ticket.failure = translator.Translate("An unexpected failure occurred.");
  }
}

LanguageOutcome LanguageSelector::Select(Translator& translator) {
  ResolvePaths();
  std::string code = "1033";
  for (Ticket& ticket : tickets_) {
    if (ticket.path.empty()) continue;
    const auto stamp = sources_.files.Stamp(ticket.path);
    if (!stamp) {
      // Gone: a ticket that comes back is read again, whatever its stamp.
      Ticket fresh;
      fresh.path = std::move(ticket.path);
      ticket = std::move(fresh);
      continue;
    }
    if (stamp != ticket.stamp) Read(ticket, *stamp, translator);
    if (ticket.failure) {
      LanguageOutcome outcome;
      outcome.lcid = translator.lcid();
      outcome.report = ticket.reported ? LanguageReport::kLogOnly : LanguageReport::kShow;
      outcome.failure =
          translator.Format(
              "The server's settings file '%s' could not be read, so the interface language was "
              "not changed.",
              {ticket.path}) +
          "\r\n" + *ticket.failure;
      ticket.reported = true;
      return outcome;
    }
    code = ticket.code;
  }
  const uint32_t lcid = LcidOf(code);
  translator.Select(lcid, DictionaryFor(lcid));
  LanguageOutcome outcome;
  outcome.lcid = lcid;
  return outcome;
}

}  // namespace dpc
