// Writes the manual page and the bash completion of quillmar-cli from the program's own command table
// (cli/CliCommandTable.h), so that neither can fall behind the commands the program has.
//
//   qm_make_cli_docs --man FILE --completion FILE
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliCommandTable.h"
#include "core/qmGlobal.h"

using namespace quillmar;

namespace {

// Text for roff: backslashes escaped, a line that would start with a control character guarded.
std::string Roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\')
      out += "\\e";
    else if (c == '-')
      out += "\\-";
    else
      out += c;
    lineStart = c == '\n';
  }
  return out;
}

// The paragraphs of the program's help (blank lines between them).
std::vector<std::string> Paragraphs(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\n\n", start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return out;
}

std::string ManPage() {
  const std::string version = TqmGlobal::ProgramVersionText();
  const auto paragraphs = Paragraphs(CliProgramUsage());
  std::ostringstream m;
  m << ".TH QUILLMAR\\-CLI 1 \"\" \"quillmar\\-cli " << version << "\" \"User Commands\"\n"
    << ".SH NAME\n"
    << "quillmar\\-cli \\- keep a Quillmar Safe from the command line\n"
    << ".SH SYNOPSIS\n"
    << ".B quillmar\\-cli\n"
    << "[\\fB\\-\\-home\\fR \\fIDIR\\fR] [\\fB\\-\\-json\\fR] \\fICOMMAND\\fR \\fIARGS\\fR...\n";
  // The help's paragraphs: the description, the options, the list of commands (given in full below)
  // and the notes on passwords, paths and exit codes.
  if (paragraphs.size() > 1) m << ".SH DESCRIPTION\n" << Roff(paragraphs[1]) << "\n";
  for (size_t i = 2; i < paragraphs.size(); ++i) {
    const std::string& p = paragraphs[i];
    if (p.rfind("Commands:", 0) == 0) continue;
    if (p.rfind("Options:", 0) == 0)
      m << ".SH OPTIONS\n.nf\n" << Roff(p.substr(p.find('\n') + 1)) << "\n.fi\n";
    else
      m << ".SH NOTES\n" << Roff(p) << "\n";
  }
  m << ".SH COMMANDS\n";
  for (const auto& c : CliCommands()) {
    m << ".SS \"" << Roff(c.name) << (c.arguments.empty() ? "" : " " + Roff(c.arguments)) << "\"\n";
    m << Roff(c.summary) << ".\n.PP\n" << Roff(c.details);
    for (const auto& o : c.options) {
      m << ".TP\n\\fB" << Roff(o.name) << "\\fR";
      if (!o.alias.empty()) m << ", \\fB" << Roff(o.alias) << "\\fR";
      if (!o.valueName.empty()) m << " \\fI" << Roff(o.valueName) << "\\fR";
      m << "\n" << Roff(o.help) << (o.repeatable ? " (may be given more than once)" : "") << "\n";
    }
  }
  m << ".SH ENVIRONMENT\n"
    << ".TP\n.B QUILLMAR_HOME\nThe folder holding the Safes, unless \\fB\\-\\-home\\fR is given.\n"
    << ".TP\n.B XDG_DATA_HOME\nWithout the two above, the Safes are in its folder \\fIquillmar\\fR "
       "(default \\fI~/.local/share/quillmar\\fR).\n"
    << ".TP\n.B QUILLMAR_CODEPAGE\nThe 8\\-bit code page of the Safes' text (default windows\\-1252).\n"
    << ".SH SEE ALSO\n\\fBquillmar\\fR, the desktop program over the same Safes.\n";
  return m.str();
}

// A bash word list: the words separated by blanks.
std::string Words(const std::vector<std::string>& words) {
  std::string out;
  for (const auto& w : words) out += (out.empty() ? "" : " ") + w;
  return out;
}

std::string Completion() {
  std::ostringstream b;
  std::vector<std::string> names;
  for (const auto& c : CliCommands()) names.push_back(c.name);
  b << "# bash completion for quillmar-cli, written from its command table: do not edit.\n"
    << "_quillmar_cli() {\n"
    << "  local cur prev cword words\n"
    << "  cur=\"${COMP_WORDS[COMP_CWORD]}\"\n"
    << "  prev=\"${COMP_WORDS[COMP_CWORD-1]}\"\n"
    << "  cword=$COMP_CWORD\n"
    << "  words=(\"${COMP_WORDS[@]}\")\n"
    << "  COMPREPLY=()\n"
    << "  local i cmd='' home=() positional=0\n"
    // Find the command, the --home folder given before it, and which positional argument is typed.
    << "  for ((i = 1; i < cword; i++)); do\n"
    << "    case \"${words[i]}\" in\n"
    << "      --home) home=(--home \"${words[i+1]}\"); ((i++)) ;;\n"
    << "      -*) ;;\n"
    << "      *) if [[ -z $cmd ]]; then cmd=\"${words[i]}\"; else ((positional++)); fi ;;\n"
    << "    esac\n"
    << "  done\n"
    << "  if [[ $prev == --home ]]; then COMPREPLY=($(compgen -d -- \"$cur\")); return; fi\n"
    << "  if [[ -z $cmd ]]; then\n"
    << "    COMPREPLY=($(compgen -W \"" << Words(names) << " --home --json --help --version\" -- \"$cur\"))\n"
    << "    return\n"
    << "  fi\n"
    << "  local opts='' safeFirst=0\n"
    << "  case \"$cmd\" in\n";
  for (const auto& c : CliCommands()) {
    std::vector<std::string> opts;
    for (const auto& o : c.options) {
      opts.push_back(o.name);
      if (!o.alias.empty()) opts.push_back(o.alias);
    }
    opts.push_back("--help");
    b << "    " << c.name << ")\n"
      << "      opts=\"" << Words(opts) << "\"\n";
    if (c.arguments.rfind("SAFE", 0) == 0) b << "      safeFirst=1\n";
    // The values of options: a choice of words, folders, files, or nothing to offer.
    bool anyValue = false;
    for (const auto& o : c.options) {
      if (o.valueName.empty()) continue;
      if (!anyValue) b << "      case \"$prev\" in\n";
      anyValue = true;
      std::string spellings = o.name + (o.alias.empty() ? "" : "|" + o.alias);
      std::string action;
      if (o.valueName.find('|') != std::string::npos) {
        std::string choices = o.valueName;
        for (char& ch : choices)
          if (ch == '|') ch = ' ';
        action = "COMPREPLY=($(compgen -W \"" + choices + "\" -- \"$cur\"))";
      } else if (o.valueName == "DIR") {
        action = "COMPREPLY=($(compgen -d -- \"$cur\"))";
      } else if (o.valueName.find("FILE") != std::string::npos || o.valueName == "F") {
        action = "COMPREPLY=($(compgen -f -- \"$cur\"))";
      } else {
        action = ":";
      }
      b << "        " << spellings << ") " << action << "; return ;;\n";
    }
    if (anyValue) b << "      esac\n";
    b << "      ;;\n";
  }
  b << "    *) return ;;\n"
    << "  esac\n"
    << "  if [[ $cur == -* ]]; then COMPREPLY=($(compgen -W \"$opts\" -- \"$cur\")); return; fi\n"
    // The first argument of most commands is the Safe: its names come from the program itself.
    << "  if [[ $safeFirst == 1 && $positional == 0 ]]; then\n"
    << "    local IFS=$'\\n'\n"
    << "    COMPREPLY=($(compgen -W \"$(quillmar-cli \"${home[@]}\" safes 2>/dev/null)\" -- \"$cur\"))\n"
    << "    return\n"
    << "  fi\n"
    << "  COMPREPLY=($(compgen -f -- \"$cur\"))\n"
    << "}\n"
    << "complete -o filenames -F _quillmar_cli quillmar-cli\n";
  return b.str();
}

bool Write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::fprintf(stderr, "qm_make_cli_docs: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  std::string man, completion;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--man")
      man = argv[i + 1];
    else if (option == "--completion")
      completion = argv[i + 1];
  }
  if (man.empty() && completion.empty()) {
    std::fprintf(stderr, "usage: qm_make_cli_docs --man FILE --completion FILE\n");
    return 2;
  }
  if (!man.empty() && !Write(man, ManPage())) return 1;
  if (!completion.empty() && !Write(completion, Completion())) return 1;
  return 0;
}
