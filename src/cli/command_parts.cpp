#include "cli/command_parts.h"

namespace vw::cli {

std::string Dump(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Quoted(TextView text) {
  return Dump(Json(TextToUtf8(text)));
}

std::string Place(const FolderLists& lists, EntryRef entry) {
  return ListPath(lists.dir, entry.list) + ":" + std::to_string(entry.index + 1);
}

Json ApprovalsJson(const FolderLists& lists, const std::vector<EntryRef>& approvals) {
  Json by = Json::array();
  for (const EntryRef& entry : approvals) {
    by.push_back({{"list", entry.list == ListKind::kSites ? "sites" : "links"},
                  {"line", entry.index + 1},
                  {"entry", TextToUtf8(ListOf(lists, entry.list)[entry.index])}});
  }
  return by;
}

void AppendApprovalsText(const FolderLists& lists, const std::vector<EntryRef>& approvals, const char* indent,
                         std::string& out) {
  for (const EntryRef& entry : approvals) {
    out += indent;
    out += Place(lists, entry);
    out += ": ";
    AppendUtf8(ListOf(lists, entry.list)[entry.index], out);
    out += '\n';
  }
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
