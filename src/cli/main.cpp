// veraway-check: tests addresses against the approved lists in bulk, explains every verdict, finds risky
// entries. Reads the lists as the editor does and never writes them.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/squid_helper.h"
#include "common/text.h"
#include "rules/list_lint.h"

#ifndef VW_VERSION
#define VW_VERSION "unknown"
#endif

namespace {

constexpr char kProgramHelp[] =
    "Tests addresses against the approved lists TrustFile_SafeSites.txt and TrustFile_SafeLinks.txt as the "
    "editor does, explains every verdict and finds risky entries. Exit status: 0 all good; 1 an address not "
    "approved, a warning or a verdict that differs; 2 an error.";
constexpr char kTestHelp[] =
    "The editor's verdict on each address (the arguments, else each line of standard input): every site "
    "entry inside it, in file order; else the first link entry inside it; else not approved.";
constexpr char kLintHelp[] =
    "Risky entries, as FILE:LINE: warning: MESSAGE [RULE], by file (sites, then links) and line, then a "
    "summary by rule on standard error (jsonl: a last object). Host names are judged with the public suffix "
    "list. Rules: bom, line-ends, whitespace, empty, duplicate, redundant, broad, suffix, unanchored, idn, "
    "https and unsent (with --for squid), uppercase, malformed, control.";
constexpr char kDiffHelp[] =
    "The entries added and removed in each list from --against (before) to --dir (after), as diff -U0 shows "
    "lines; then the addresses (the arguments, else each line of standard input when it is not a terminal) "
    "whose verdict differs, with the entries behind both verdicts; then the totals.";
constexpr char kSquidHelp[] =
    "Squid's external ACL helper: one request a line on standard input (a channel ID first with "
    "concurrency=N, then the URL, as FORMAT %>ru gives it), answered OK log=FILE:LINE:ENTRY when the lists "
    "approve it, ERR when not, BH message=REASON for a line it cannot judge. The lists are read again when "
    "either file changes and on SIGHUP.";

// An existing folder, whatever the characters of its name (CLI11's own check goes through the narrow file
// calls, which on Windows know only the ANSI code page).
std::string ExistingFolder(const std::string& name) {
  std::error_code error;
  const auto status = std::filesystem::status(std::filesystem::path(vw::Utf8ToText(name)), error);
  if (status.type() == std::filesystem::file_type::directory) return {};
  if (status.type() == std::filesystem::file_type::not_found || name.empty())
    return "no such folder: " + name;
  if (error) return name + ": " + error.message();
  return "not a folder: " + name;
}

void AddCommon(CLI::App& command, vw::cli::Options& options, std::string& format) {
  command.set_version_flag("--version", "veraway-check " VW_VERSION);
  // As with the tools around it, the last of an option given twice wins.
  command.add_option("-d,--dir", options.dir, "Folder of the list files (default: the working directory)")
      ->check(ExistingFolder)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  command.add_option("-f,--format", format, "Output format: text (default) or jsonl")
      ->check(CLI::IsMember({"text", "jsonl"}))
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

// --as: whose rule judges the addresses.
void AddAs(CLI::App& command, vw::cli::Options& options) {
  command
      .add_option_function<std::string>(
          "--as", [&options](const std::string& as) { options.as_squid = as == "squid"; },
          "browser (default): the editor's rule, an entry anywhere in the address; squid: the squid helper's "
          "verdict on the URL a client sends through Squid (host:port for a CONNECT), where an entry holding "
          ":// counts "
          "only "
          "at the address's scheme separator and .host/ only in its host")
      ->check(CLI::IsMember({"browser", "squid"}))
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

// Help and version text, written as any output is: a write error there is an error too.
int PrintAndExit(CLI::App& app, const CLI::Error& e) {
  std::ostringstream text;
  std::ostringstream errors;
  const int code = app.exit(e, text, errors);
  if (!vw::cli::WriteStdout(text.str())) {
    vw::cli::Error("standard output: write error");
    return vw::cli::kError;
  }
  return code;
}

// A usage error: one line saying what is wrong, one saying where to look.
int UsageError(const std::string& what, const std::string& command) {
  std::cerr << "veraway-check: " << what << "\nTry 'veraway-check " << command << (command.empty() ? "" : " ")
            << "--help' for more information.\n";
  return vw::cli::kError;
}

std::string LintRule(const std::string& name) {
  if (vw::LintRuleNamed(name)) return {};
  std::string known;
  for (int i = 0; i < vw::kLintRuleCount; ++i) {
    known += (i == 0 ? "" : ",") + std::string(vw::LintRuleName(static_cast<vw::LintRule>(i)));
  }
  return "no such rule: " + name + " (rules: " + known + ")";
}

// The arguments in UTF-8, the program's name first.
int Run(std::vector<std::string> args) {
  vw::cli::ProgramStart();
  vw::cli::UseBinaryStreams();
  vw::cli::Options options;
  std::string format = "text";

  CLI::App app(kProgramHelp, "veraway-check");
  app.set_version_flag("--version", "veraway-check " VW_VERSION);
  app.require_subcommand(1);

  CLI::App* test = app.add_subcommand("test", kTestHelp);
  AddCommon(*test, options, format);
  test->add_option("ADDRESS", options.addresses, "Addresses to test");
  AddAs(*test, options);

  CLI::App* lint = app.add_subcommand("lint", kLintHelp);
  AddCommon(*lint, options, format);
  lint->add_option("--only", options.only, "Report only these rules (RULE,...)")
      ->delimiter(',')
      ->check(LintRule);
  lint->add_option("--ignore", options.ignore, "Do not report these rules (RULE,...)")
      ->delimiter(',')
      ->check(LintRule);
  lint->add_option(
          "--for", options.lint_for,
          "squid: the lists are also enforced by Squid (veraway-check squid): advice in the forms Squid "
          "anchors at the host (://host/, .host/), entries that approve no HTTPS address there [https] and "
          "entries no URL through Squid holds [unsent]")
      ->check(CLI::IsMember({"squid"}));

  CLI::App* diff = app.add_subcommand("diff", kDiffHelp);
  AddCommon(*diff, options, format);
  diff->add_option("--against", options.against, "The other folder of list files")
      ->required()
      ->check(ExistingFolder);
  diff->add_option("ADDRESS", options.addresses, "Addresses to compare");
  AddAs(*diff, options);

  CLI::App* squid = app.add_subcommand("squid", kSquidHelp);
  squid->set_version_flag("--version", "veraway-check " VW_VERSION);
  // Not checked: a helper that ends at once makes Squid restart it until it gives up; a folder not there
  // (yet) is answered BH, as are lists that cannot be read, until it is.
  squid->add_option("-d,--dir", options.dir, "Folder of the list files (default: the working directory)");

  // The first word that is no option names the command.
  std::string commands;
  bool known = false;
  for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
    commands += (commands.empty() ? "" : ", ") + command->get_name();
    known = known || (args.size() > 1 && args[1] == command->get_name());
  }
  if (args.size() < 2) return UsageError("a command is required: " + commands, "");
  if (!known && !args[1].empty() && args[1][0] != '-')
    return UsageError("unknown command '" + args[1] + "' (commands: " + commands + ")", "");

  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::CallForHelp& e) {
    return PrintAndExit(app, e);
  } catch (const CLI::CallForAllHelp& e) {
    return PrintAndExit(app, e);
  } catch (const CLI::CallForVersion& e) {
    return PrintAndExit(app, e);
  } catch (const CLI::ParseError& e) {
    const std::vector<CLI::App*> given = app.get_subcommands();
    if (given.empty() && dynamic_cast<const CLI::RequiredError*>(&e) != nullptr)
      return UsageError("a command is required: " + commands, "");
    return UsageError(e.what(), given.empty() ? "" : given.back()->get_name());
  }
  options.format = format == "jsonl" ? vw::cli::Format::kJsonl : vw::cli::Format::kText;
  try {
    if (*test) return vw::cli::RunTest(options);
    if (*lint) return vw::cli::RunLint(options);
    if (*squid) return vw::cli::RunSquid(options.dir);
    return vw::cli::RunDiff(options);
  } catch (const std::exception& e) {
    vw::cli::Error(e.what());
    return vw::cli::kError;
  }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) {
    vw::Text arg;
    for (const wchar_t* unit = argv[i]; *unit != 0; ++unit) arg.push_back(static_cast<char16_t>(*unit));
    args.push_back(vw::TextToUtf8(arg));
  }
  return Run(std::move(args));
}
#else
int main(int argc, char** argv) {
  return Run(std::vector<std::string>(argv, argv + argc));
}
#endif
