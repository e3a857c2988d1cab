// Notes of a worksheet as spreadsheets store them: the comments part (the
// texts) and the legacy VML drawing (the boxes; a hidden note has no
// <x:Visible/>).
#pragma once

#include <string>
#include <vector>

namespace dorvane::sheet::ooxml {

inline constexpr const char* kCommentsContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml";
inline constexpr const char* kVmlContentType =
    "application/vnd.openxmlformats-officedocument.vmlDrawing";

struct Note {
  long row = 0, column = 0;
  std::u16string text;
  bool visible = false;
};

// The notes of a comments part; vml (may be "") tells which are visible.
// Raises 75 naming the file when the comments part is malformed; a VML
// drawing that does not parse leaves every note hidden.
std::vector<Note> readNotes(const std::string& commentsXml, const std::string& vml,
                            const std::string& file);

// The comments part with notes added (a new part when commentsXml is "").
std::string addToComments(const std::string& commentsXml, const std::vector<Note>& notes,
                          const std::string& file);

// The VML drawing with a box added for each note (a new drawing when vml is
// ""; idBlock numbers its shapes, 1024 per block). The drawing is extended as
// text, so one that is not well-formed XML keeps its own bytes.
std::string addToVml(const std::string& vml, const std::vector<Note>& notes, int idBlock);

}  // namespace dorvane::sheet::ooxml
