#include "i18n/language.h"

#include <charconv>
#include <exception>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "i18n/failure_text.h"
#include "i18n/languages.h"
#include "platform/os_error.h"
#include "platform/text_error.h"

namespace dpc {

namespace {

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

constexpr const char* kUnreadable = UiText(
    "The server's settings file '%s' could not be read, so the interface language was not "
    "changed.");
// Trace log only, never shown: English.
constexpr const char* kSkipped =
    "'%s' could not be read and was passed over; '%s' names the language.";

}  // namespace

LanguageSelector::LanguageSelector(LanguageSources sources, DictionaryLookup dictionaries)
    : sources_(std::move(sources)), dictionaries_(std::move(dictionaries)), tickets_(3) {}

void LanguageSelector::ResolvePaths() {
  if (tickets_[0].path.empty() && !sources_.controllerFolder.empty()) {
    std::string folder = sources_.controllerFolder;
    if (folder.back() != '\\') folder += '\\';
    tickets_[0].path = folder + kTicket;
  }
  // An unknown common folder leaves its tickets out (never a path relative to the current
  // folder), and is asked for again next time.
  if (tickets_[1].path.empty()) {
    const OsResult<std::string> found =
        sources_.shell.SpecialFolderPath(SpecialFolder::CommonAppData);
    std::string common = found ? *found : std::string();
    while (!common.empty() && common.back() == '\\') common.pop_back();
    if (!common.empty()) {
      tickets_[1].path = common + kLegacyTicketFolder + kTicket;
      tickets_[2].path = common + kSettingsTicketFolder + kTicket;
    }
  }
}

void LanguageSelector::Read(Ticket& ticket, const FileStamp& stamp) {
  // The stamp is taken before the read: a rewrite during the read shows as a change next time.
  ticket.stamp = stamp;
  ticket.code.clear();
  ticket.failure.reset();
  ticket.reported = ticket.skipLogged = false;
  try {
    const auto root = sources_.xml.LoadDocumentElement(ticket.path);
    if (!root) root.error().Raise();
    const auto system = ValueOrRaise((*root)->Child("System"));
    if (!system) throw TextError("The file has no System element.", {});
    // A System element without CountryCode reads as an empty code: English.
    if (const auto code = ValueOrRaise(system->Child("CountryCode"))) {
      const OsResult<std::string> text = code->Text();
      if (!text) throw SystemError(text.error());
      ticket.code = *text;
    }
  } catch (...) {
    ticket.failure = Failure::OfCurrent();
  }
}

LanguageOutcome LanguageSelector::Select(Translator& translator) {
  ResolvePaths();
  std::string code = "1033";
  LanguageOutcome outcome;
  // Unreadable tickets since the last readable one: passed over if a readable one follows.
  std::vector<Ticket*> unreadable;
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
    if (ticket.stamp != *stamp) Read(ticket, *stamp);
    if (ticket.failure) {
      unreadable.push_back(&ticket);
      continue;
    }
    for (Ticket* passed : unreadable) {
      if (passed->skipLogged) continue;
      passed->skipLogged = true;
      outcome.skipped.push_back(FillPattern(kSkipped, {passed->path, ticket.path}) + " " +
                                DescribeFailure(Translator(), *passed->failure));
    }
    unreadable.clear();
    code = ticket.code;
  }
  if (!unreadable.empty()) {
    // The earliest failure with no readable ticket after it keeps the language.
    Ticket& ticket = *unreadable.front();
    outcome.lcid = translator.lcid();
    outcome.report = ticket.reported ? LanguageReport::kLogOnly : LanguageReport::kShow;
    outcome.failure = translator.Format(kUnreadable, {ticket.path}) + "\r\n" +
                      DescribeFailure(translator, *ticket.failure);
    outcome.logText = FillPattern(kUnreadable, {ticket.path}) + " " +
                      DescribeFailure(Translator(), *ticket.failure);
    ticket.reported = true;
    return outcome;
  }
  const uint32_t lcid = LcidOf(code);
  translator.Select(lcid, dictionaries_(lcid));
  outcome.lcid = lcid;
  return outcome;
}

}  // namespace dpc
