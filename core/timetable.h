#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The meet's race timetable: one race per line, listed with running numbers, and the
// race name that a chosen line gives the result file.
namespace Ordavex {

// The lines of a timetable file: code page 932; a line ends at CR LF, at LF or at CR;
// a line end at the very end adds no line; a NUL byte ends the text.
QStringList DecodeTimetable(QByteArrayView bytes);
// The number of lines DecodeTimetable makes of bytes, counted without decoding.
qsizetype CountTimetableLines(QByteArrayView bytes);
// The timetable of a meet has some hundreds of lines, and a numbering of three digits
// was made for it; ten times the busiest meet's is still a list that loads at once. A
// file of more lines is no timetable (16 MiB of line ends would be 16 million items).
inline constexpr qsizetype MaxTimetableLines = 10000;
// The bytes of the longest line DecodeTimetable makes of bytes, its end not counted.
qsizetype LongestTimetableLine(QByteArrayView bytes);
// A race line names a race in some tens of characters, and its name becomes one file
// name (at most 255 bytes on most file systems); a line of many kilobytes is no race,
// and one of megabytes would hold the list's layout for many seconds.
inline constexpr qsizetype MaxTimetableLineBytes = 1024;
// The lines of the timetable file at path; none when it cannot be read whole (missing,
// not a regular file, larger than any timetable, a read error), has more than
// MaxTimetableLines lines or a line longer than MaxTimetableLineBytes.
QStringList ReadTimetableFile(const QString &path);

// The list items: a line holding "<" anywhere stays as it is and gets no number; every
// other line (empty ones too) becomes "%03d) %s" with a number counting those lines only.
QStringList NumberTimetableLines(const QStringList &lines);

// The race name of a list item, or none for an item holding "<": blanks and control
// characters trimmed at both ends, ":" made "_", every space removed (tabs and the
// ideographic space stay). A name is one file name inside the work folder: path
// separators become "_" as ":" does, and a name of dots alone is not a name.
std::optional<QString> MakeRaceName(const QString &item);

// The target path of a race: the work folder, one separator unless it ends in one, and
// the race name.
QString RaceTargetPath(const QString &workFolder, const QString &raceName);

} // namespace Ordavex
