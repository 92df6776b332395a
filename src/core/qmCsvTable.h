#pragma once
// TqmCsvTable: a CSV text (RFC 4180) read into a header and rows, for the import from other password
// managers and the inverse of `export`.
//
// A cell is either plain text up to the next delimiter or line end, or quoted: it starts with '"',
// may hold delimiters, line breaks and doubled quotes ("" for one "), and ends at the next lone '"'.
// Rows end at CR LF, LF or CR outside quotes; the last row needs no line end. A UTF-8 byte-order mark
// before the header is dropped. Lines that are empty (no cell at all) are skipped.
//
// The delimiter is "," unless told otherwise; Parse with kAutoDelimiter takes the one of ",", ";" and
// tab that occurs most often outside quotes in the header line (spreadsheets in many countries write
// ";").
//
// Errors (EQuillmarError, naming the line): a quote that is never closed, text after a closing quote
// other than a delimiter or line end, and a row with more or fewer cells than the header (a file read
// with the wrong delimiter would otherwise import garbage).
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quillmar {

class TqmCsvTable {
public:
  static constexpr char kAutoDelimiter = '\0';

  struct TRow {
    size_t line = 0;  // the line of the text the row starts on, from 1
    std::vector<std::string> cells;
  };

  static TqmCsvTable Parse(std::string_view text, char delimiter = ',');

  const std::vector<std::string>& Header() const { return header_; }
  const std::vector<TRow>& Rows() const { return rows_; }
  char Delimiter() const { return delimiter_; }
  // The position of the header cell equal to name (letter case of ASCII letters ignored, blanks
  // around it too), or -1.
  int Column(std::string_view name) const;

private:
  std::vector<std::string> header_;
  std::vector<TRow> rows_;
  char delimiter_ = ',';
};

// One cell as a CSV writer writes it: quoted (quotes doubled) when it holds the delimiter, a quote or
// a line break, else as it is.
std::string CsvCell(std::string_view text, char delimiter = ',');

}  // namespace quillmar
