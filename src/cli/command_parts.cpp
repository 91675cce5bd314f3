#include "cli/command_parts.h"

#include <algorithm>

#include "cli/squid_protocol.h"

namespace vw::cli {

std::string Dump(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Quoted(TextView text) {
  return ShownQuoted(TextToUtf8(text));
}

std::string Place(const FolderLists& lists, EntryRef entry) {
  return Shown(ListPath(lists.dir, entry.list)) + ":" + std::to_string(entry.index + 1);
}

Json ApprovalsJson(const FolderLists& lists, const std::vector<EntryRef>& approvals) {
  Json by = Json::array();
  for (const EntryRef& entry : approvals) {
    by.push_back({{"list", RowOf(entry.list).label},
                  {"line", entry.index + 1},
                  {"entry", TextToUtf8(ListOf(lists, entry.list)[entry.index])}});
  }
  return by;
}

namespace {

// A JSON string as Dump writes it: printable ASCII other than " and \ goes as it is; anything else is left
// to the library (its escapes, and U+FFFD for bytes that are not UTF-8).
void AppendJsonString(std::string_view text, std::string& out) {
  const bool plain = std::all_of(text.begin(), text.end(),
                                 [](char c) { return c >= 0x20 && c < 0x7F && c != '"' && c != '\\'; });
  if (!plain) {
    out += Dump(Json(text));
    return;
  }
  out += '"';
  out += text;
  out += '"';
}

}  // namespace

void AppendVerdictJson(const FolderLists& lists, const std::string& address,
                       const std::vector<EntryRef>& approvals, std::string& out) {
  out += "{\"address\":";
  AppendJsonString(address, out);
  out += approvals.empty() ? ",\"approved\":false,\"by\":[" : ",\"approved\":true,\"by\":[";
  for (std::size_t i = 0; i < approvals.size(); ++i) {
    const EntryRef& entry = approvals[i];
    out += i == 0 ? "{\"list\":\"" : ",{\"list\":\"";
    out += entry.list == ListKind::kSites ? "sites" : "links";
    out += "\",\"line\":";
    out += std::to_string(entry.index + 1);
    out += ",\"entry\":";
    AppendJsonString(TextToUtf8(ListOf(lists, entry.list)[entry.index]), out);
    out += '}';
  }
  out += "]}\n";
}

void AppendApprovalsText(const FolderLists& lists, const std::vector<EntryRef>& approvals, const char* indent,
                         std::string& out) {
  for (const EntryRef& entry : approvals) {
    out += indent;
    out += Place(lists, entry);
    out += ": ";
    out += Shown(TextToUtf8(ListOf(lists, entry.list)[entry.index]));
    out += '\n';
  }
}

void AddressJudge::Judge(const std::string& address, std::vector<EntryRef>& approvals) {
  if (!as_squid_) {
    unusable_ = {};
    index_.Verdict(Utf8ToText(address), approvals);
    return;
  }
  // The client's URL: what the helper gets back from Squid's escaped form.
  text_ = Utf8ToText(address);
  unusable_ = JudgeSquidAddress(text_, &index_, approvals);
}

void AppendTestVerdict(const FolderLists& lists, const std::string& address,
                       const std::vector<EntryRef>& approvals, std::string_view unusable, Format format,
                       std::string& out) {
  if (format == Format::kJsonl && unusable.empty()) {
    AppendVerdictJson(lists, address, approvals, out);
    return;
  }
  if (format == Format::kJsonl) {
    Json line{
        {"address", address}, {"approved", !approvals.empty()}, {"by", ApprovalsJson(lists, approvals)}};
    if (!unusable.empty()) line["unusable"] = unusable;
    out += Dump(line);
    out += '\n';
    return;
  }
  out += approvals.empty() ? "not approved: " : "approved: ";
  out += Shown(address);
  out += '\n';
  if (!unusable.empty()) {
    out += "  unusable (the helper answers BH): ";
    out += unusable;
    out += '\n';
  }
  AppendApprovalsText(lists, approvals, "  ", out);
}

bool NextBatch(Addresses& addresses, std::size_t most, std::vector<std::string>& batch) {
  std::size_t count = 0;
  do {
    if (count == batch.size()) batch.emplace_back();
    if (!addresses.Next(batch[count])) break;
    ++count;
  } while (count < most && addresses.Ready());
  batch.resize(count);
  return count != 0;
}

int Finish(Output& output, const Addresses& addresses, int status) {
  if (addresses.Failed()) {
    Error("standard input: read error");
    status = kError;
  }
  if (!output.Flush()) {
    Error("standard output: write error");
    status = kError;
  }
  return status;
}

}  // namespace vw::cli
