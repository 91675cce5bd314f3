// veraway-check: tests addresses against the approved lists in bulk, explains every verdict, finds risky
// entries. Reads the lists as the editor does and never writes them.
#include <CLI/CLI.hpp>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/squid_helper.h"
#include "common/text.h"
#include "rules/list_lint.h"

#ifndef VW_VERSION
#define VW_VERSION "unknown"
#endif

namespace {

constexpr int kUsageError = 2;

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
    "https (with --for squid), uppercase, malformed, control.";
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
  if (std::filesystem::is_directory(std::filesystem::path(vw::Utf8ToText(name)), error)) return {};
  return "no such folder: " + name;
}

void AddCommon(CLI::App& command, vw::cli::Options& options, std::string& format) {
  command.set_version_flag("--version", "veraway-check " VW_VERSION);
  command.add_option("--dir", options.dir, "Folder of the list files (default: the working directory)")
      ->check(ExistingFolder);
  command.add_option("--format", format, "Output format: text (default) or jsonl")
      ->check(CLI::IsMember({"text", "jsonl"}));
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
          "squid: the lists are also enforced by Squid (veraway-check squid): entries that approve no "
          "HTTPS address there [https]")
      ->check(CLI::IsMember({"squid"}));

  CLI::App* diff = app.add_subcommand("diff", kDiffHelp);
  AddCommon(*diff, options, format);
  diff->add_option("--against", options.against, "The other folder of list files")
      ->required()
      ->check(ExistingFolder);
  diff->add_option("ADDRESS", options.addresses, "Addresses to compare");

  CLI::App* squid = app.add_subcommand("squid", kSquidHelp);
  squid->set_version_flag("--version", "veraway-check " VW_VERSION);
  // Not checked: a helper that ends at once makes Squid restart it until it gives up; a folder not there
  // (yet) is answered BH, as are lists that cannot be read, until it is.
  squid->add_option("--dir", options.dir, "Folder of the list files (default: the working directory)");

  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  try {
    app.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    // The error, then the usage of the command it was given to.
    std::cerr << "veraway-check: " << e.what() << "\n\n";
    const std::vector<CLI::App*> given = app.get_subcommands();
    std::cerr << (given.empty() ? app.help() : given.back()->help(app.get_name()));
    return kUsageError;
  }
  options.format = format == "jsonl" ? vw::cli::Format::kJsonl : vw::cli::Format::kText;
  try {
    if (*test) return vw::cli::RunTest(options);
    if (*lint) return vw::cli::RunLint(options);
    if (*squid) return vw::cli::RunSquid(options.dir);
    return vw::cli::RunDiff(options);
  } catch (const std::exception& e) {
    vw::cli::Error(e.what());
    return 2;
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
