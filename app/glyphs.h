#pragma once
// Small images drawn at start-up: the read button's glyph and the window icon.
#include <QIcon>

namespace rtutest {

// 16 by 16: a document with a downward arrow, with a grey image for the disabled state.
QIcon ReadGlyph();
// 32 by 32: a serial connector face.
QIcon ApplicationIcon();

}  // namespace rtutest
