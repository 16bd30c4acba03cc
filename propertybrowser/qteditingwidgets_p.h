// Pieces the editing widgets share, also used by the editors of the extended value
// types. Internal to the property browser.
#pragma once

class QEvent;
class QHBoxLayout;
class QWidget;

namespace QtEditorWidgetShapes {

// For an editor's button: Escape, Return and Enter are marked unaccepted and
// reported handled, so that the button never acts on them and they travel up to
// the editor and its parents. False for any other event.
bool buttonIgnores(QEvent *event);

// The plain widget background, so that style sheets can colour an editor.
void paintEditorBackground(QWidget *widget);

// The layout of an editor with a button: the editor margin and no gap.
QHBoxLayout *editorRow(QWidget *editor);

} // namespace QtEditorWidgetShapes
