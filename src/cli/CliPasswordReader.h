#pragma once
// TCliPasswordReader: asks for passwords.
//
// When the input is a terminal the prompt goes to the prompt stream (standard error, so that
// standard output stays clean for scripts), echo is turned off while the line is typed and turned
// back on afterwards, also when the program is interrupted by Ctrl+C or a termination signal.
// Otherwise no prompt is shown and each password is one line of the input: the line end ("\n",
// with a "\r" before it) is dropped, the rest is the password byte for byte. An input that ends
// before a password throws ECliError (usage).
//
// Input is read with read(2) one byte at a time, so no buffer beyond the returned text holds the
// password and later lines stay in the input for later passwords.
#include <ostream>
#include <string>

namespace quillmar {

class TCliPasswordReader {
public:
  // fd is the input (0 for standard input); it is not closed.
  TCliPasswordReader(int fd, std::ostream& prompts);

  // True when the input is a terminal: the user can be asked twice and questions can be asked.
  bool Interactive() const { return interactive_; }

  // One password as typed (UTF-8 on a terminal). what names it in messages ("master password").
  std::string Read(const std::string& prompt, const std::string& what);

  // A new password: on a terminal it is asked twice and must be typed the same both times; from a
  // pipe it is one line.
  std::string ReadNew(const std::string& prompt, const std::string& confirmPrompt, const std::string& what);

  // One answer line for a question (terminal only; echo stays on). Empty on end of input.
  std::string ReadAnswer(const std::string& prompt);

private:
  bool ReadLine(std::string& line);

  int fd_;
  std::ostream& prompts_;
  bool interactive_;
};

}  // namespace quillmar
