// What a window shows, as the transcript's "dump" event: every named control with its state.
#pragma once

#include <QColor>
#include <QString>
#include <string>

#include "transcript.h"

class QObject;
class QWidget;

namespace quellin::script {

// The dump event of `form` as one JSON object.
JsonObject DumpEvent(QWidget* form);

// red | green << 8 | blue << 16, as Windows numbers colours.
unsigned WindowsColor(const QColor& color);

// A JSON string of a Qt string.
json::Value JsonQ(const QString& text);

// A widget's class as scripts name it: the program's own classes without the "quellin::"
// that every one of them carries ("repair::TMarqueeBar"), Qt's as Qt names them.
std::string ScriptClassName(const QObject* object);

// The window an object belongs to: a dialog parented to a window is a window of its own, and a
// menu belongs to the window of its menu bar.
const QWidget* OwningWindow(const QObject* object);

}  // namespace quellin::script
