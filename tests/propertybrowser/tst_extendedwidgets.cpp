#include "connectwarningguard.h"
#include "modaldriver.h"

#include "propertybrowser/extended/qtbuttoneditwidgets.h"
#include "propertybrowser/extended/qtkeyedits.h"

#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QToolButton>
#include <QTest>

#include <memory>

// The editing widgets of the extended types, driven by real key events, their real
// context menus and the real colour and font dialogs.
class TstExtendedWidgets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void menuTextLosesItsShortcutHint_data();
    void menuTextLosesItsShortcutHint();
    void charEditTakesOnePrintableChar_data();
    void charEditTakesOnePrintableChar();
    void keySequenceEditRecordsKeys_data();
    void keySequenceEditRecordsKeys();
    void keySequenceSetterEmitsNothingAndRestarts();
    void clearActionLeadsTheContextMenu_data();
    void clearActionLeadsTheContextMenu();
    void colourDialog_data();
    void colourDialog();
    void fontDialog_data();
    void fontDialog();
    void buttonLeavesCommitKeysToTheParent_data();
    void buttonLeavesCommitKeysToTheParent();
};

namespace {

// Stands for "the editor loses focus" in a list of keys.
constexpr int kFocusOut = -1;

// The text a keyboard sends with the key: letters and digits carry theirs, the
// other keys used here none.
QString keyText(int code)
{
    if (code >= Qt::Key_A && code <= Qt::Key_Z)
        return QString(QChar('a' + (code - Qt::Key_A)));
    if (code >= Qt::Key_0 && code <= Qt::Key_9)
        return QString(QChar(code));
    return QString();
}

// Presses the keys (a key code or-ed with its modifiers) as a keyboard sends them,
// with their text; modifiers are pressed before and released after.
void press(QWidget *widget, const QVector<int> &keys)
{
    for (const int key : keys) {
        if (key == kFocusOut) {
            QFocusEvent out(QEvent::FocusOut);
            QApplication::sendEvent(widget, &out);
            continue;
        }
        const int code = key & ~Qt::KeyboardModifierMask;
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key(code), keyText(code),
                            Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
    }
}

QLineEdit *lineEditOf(QWidget *editor) { return editor->findChild<QLineEdit *>(); }

// Opens the line edit's context menu as a right click does; the menu runs modally.
void openContextMenu(QWidget *editor)
{
    QLineEdit *lineEdit = lineEditOf(editor);
    const QPoint pos(2, 2);
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, lineEdit->mapToGlobal(pos));
    QApplication::sendEvent(lineEdit, &event);
}

QString labelText(QWidget *editor) { return editor->findChildren<QLabel *>().value(1)->text(); }

// Picks the value in the dialog, or cancels it.
template <class Value>
ModalDriver::Handler pickOrCancel(const Value &value, bool cancelled)
{
    return [value, cancelled](QWidget *dialog) {
        if (cancelled)
            ModalDriver::cancel(dialog);
        else
            ModalDriver::pick(dialog, value);
    };
}

// Receives what the editors leave to their parent.
class KeyRecorder : public QWidget
{
public:
    QVector<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override { keys << event->key(); }
};

enum class Editor { Char, KeySequence, Colour, Font };

} // namespace

Q_DECLARE_METATYPE(Editor)

void TstExtendedWidgets::menuTextLosesItsShortcutHint_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("hint") << "&Copy\tCtrl+C" << "&Copy";
    QTest::newRow("no tab") << "Select All" << "Select All";
    QTest::newRow("cut at the last tab") << "a\tb\tCtrl+B" << "a\tb";
    QTest::newRow("tab first") << "\tCtrl+X" << "\tCtrl+X";
    QTest::newRow("tab first and later") << "\ta\tb" << "\ta";
    QTest::newRow("trailing tab") << "Paste\t" << "Paste";
    QTest::newRow("empty") << "" << "";
}

void TstExtendedWidgets::menuTextLosesItsShortcutHint()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QCOMPARE(menuTextWithoutShortcut(text), shown);
}

void TstExtendedWidgets::charEditTakesOnePrintableChar_data()
{
    QTest::addColumn<QVector<int>>("keys");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("emitted");
    QTest::newRow("a twice") << QVector<int>{Qt::Key_A, Qt::Key_A} << "a" << QStringList{"a"};
    QTest::newRow("a then b") << QVector<int>{Qt::Key_A, Qt::Key_B} << "b" << QStringList{"a", "b"};
    QTest::newRow("Shift alone") << QVector<int>{Qt::Key_Shift} << "" << QStringList();
    QTest::newRow("Return") << QVector<int>{Qt::Key_Return} << "" << QStringList();
    QTest::newRow("arrow key") << QVector<int>{Qt::Key_Left} << "" << QStringList();
    QTest::newRow("Return keeps the char") << QVector<int>{Qt::Key_5, Qt::Key_Return} << "5" << QStringList{"5"};
}

void TstExtendedWidgets::charEditTakesOnePrintableChar()
{
    QFETCH(QVector<int>, keys);
    QFETCH(QString, value);
    QFETCH(QStringList, emitted);
    QtCharEdit edit;
    QStringList seen;
    connect(&edit, &QtCharEdit::valueChanged, this, [&](const QChar &c) { seen << QString(c); });
    press(&edit, keys);
    QCOMPARE(seen, emitted);
    QCOMPARE(edit.value().isNull() ? QString() : QString(edit.value()), value);
    QCOMPARE(lineEditOf(&edit)->text(), value);
}

void TstExtendedWidgets::keySequenceEditRecordsKeys_data()
{
    QTest::addColumn<QVector<int>>("keys");
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<int>("emitted");
    QTest::newRow("four keys") << QVector<int>{Qt::Key_A, Qt::Key_B, Qt::Key_C, Qt::Key_D} << "A, B, C, D" << 4;
    QTest::newRow("five keys") << QVector<int>{Qt::Key_A, Qt::Key_B, Qt::Key_C, Qt::Key_D, Qt::Key_E} << "E" << 5;
    QTest::newRow("focus lost after two keys")
        << QVector<int>{Qt::Key_A, Qt::Key_B, kFocusOut, Qt::Key_C} << "C" << 3;
    QTest::newRow("Shift with a letter") << QVector<int>{int(Qt::SHIFT) | Qt::Key_A} << "Shift+A" << 1;
    QTest::newRow("Shift with a digit") << QVector<int>{int(Qt::SHIFT) | Qt::Key_1} << "1" << 1;
    QTest::newRow("Shift with a key without text") << QVector<int>{int(Qt::SHIFT) | Qt::Key_F2} << "Shift+F2" << 1;
    QTest::newRow("Ctrl, Alt and Meta")
        << QVector<int>{int(Qt::CTRL | Qt::ALT) | Qt::Key_X, int(Qt::META) | Qt::Key_Y} << "Ctrl+Alt+X, Meta+Y" << 2;
    QTest::newRow("modifier keys alone")
        << QVector<int>{Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_Super_L, Qt::Key_AltGr} << "" << 0;
    // A key the layout cannot name neither shows nor takes a place.
    QTest::newRow("unknown key") << QVector<int>{Qt::Key_unknown, Qt::Key_A} << "A" << 1;
    QTest::newRow("key 0") << QVector<int>{0, Qt::Key_A} << "A" << 1;
}

void TstExtendedWidgets::keySequenceEditRecordsKeys()
{
    QFETCH(QVector<int>, keys);
    QFETCH(QString, sequence);
    QFETCH(int, emitted);
    QtKeySequenceEdit edit;
    QSignalSpy spy(&edit, &QtKeySequenceEdit::keySequenceChanged);
    press(&edit, keys);
    QCOMPARE(edit.keySequence().toString(QKeySequence::PortableText), sequence);
    QCOMPARE(lineEditOf(&edit)->text(), sequence);
    QCOMPARE(spy.count(), emitted);
    if (emitted > 0)
        QCOMPARE(spy.last().at(0).value<QKeySequence>(), edit.keySequence());
}

void TstExtendedWidgets::keySequenceSetterEmitsNothingAndRestarts()
{
    QtKeySequenceEdit edit;
    QSignalSpy spy(&edit, &QtKeySequenceEdit::keySequenceChanged);
    press(&edit, {Qt::Key_A, Qt::Key_B});
    spy.clear();
    edit.setKeySequence(QKeySequence(QStringLiteral("Ctrl+S")));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(lineEditOf(&edit)->text(), QStringLiteral("Ctrl+S"));
    // The next key starts a new sequence.
    press(&edit, {Qt::Key_C});
    QCOMPARE(edit.keySequence(), QKeySequence(Qt::Key_C));
    QCOMPARE(spy.count(), 1);
}

void TstExtendedWidgets::clearActionLeadsTheContextMenu_data()
{
    QTest::addColumn<Editor>("editor");
    QTest::addColumn<bool>("filled");
    QTest::newRow("char") << Editor::Char << true;
    QTest::newRow("char, empty") << Editor::Char << false;
    QTest::newRow("shortcut") << Editor::KeySequence << true;
    QTest::newRow("shortcut, empty") << Editor::KeySequence << false;
}

void TstExtendedWidgets::clearActionLeadsTheContextMenu()
{
    QFETCH(Editor, editor);
    QFETCH(bool, filled);
    std::unique_ptr<QWidget> widget;
    QString clearText;
    const char *changed = nullptr;
    if (editor == Editor::Char) {
        auto edit = std::make_unique<QtCharEdit>();
        if (filled)
            edit->setValue(QLatin1Char('x'));
        clearText = QStringLiteral("Clear Char");
        changed = SIGNAL(valueChanged(QChar));
        widget = std::move(edit);
    } else {
        auto edit = std::make_unique<QtKeySequenceEdit>();
        if (filled)
            edit->setKeySequence(QKeySequence(QStringLiteral("Ctrl+K")));
        clearText = QStringLiteral("Clear Shortcut");
        changed = SIGNAL(keySequenceChanged(QKeySequence));
        widget = std::move(edit);
    }
    QSignalSpy spy(widget.get(), changed);

    const auto inspectAndClear = [&](QWidget *w) {
        auto *menu = qobject_cast<QMenu *>(w);
        QVERIFY(menu);
        const QList<QAction *> actions = menu->actions();
        QVERIFY(actions.size() > 2);
        QCOMPARE(actions.at(0)->text(), clearText);
        QCOMPARE(actions.at(0)->isEnabled(), filled);
        QVERIFY(actions.at(1)->isSeparator());
        for (const QAction *action : actions) {
            QVERIFY(action->shortcut().isEmpty());
            QVERIFY(!action->text().contains(QLatin1Char('\t')));
        }
        ModalDriver::chooseAction(w, clearText);
    };
    QVERIFY(ModalDriver::drive([&] { openContextMenu(widget.get()); }, inspectAndClear));

    // Something to clear: one signal with the empty value; else nothing.
    QCOMPARE(spy.count(), filled ? 1 : 0);
    QCOMPARE(lineEditOf(widget.get())->text(), QString());
    if (!filled)
        return;
    if (editor == Editor::Char) {
        QVERIFY(spy.at(0).at(0).toChar().isNull());
        QVERIFY(static_cast<QtCharEdit *>(widget.get())->value().isNull());
    } else {
        QVERIFY(spy.at(0).at(0).value<QKeySequence>().isEmpty());
        QVERIFY(static_cast<QtKeySequenceEdit *>(widget.get())->keySequence().isEmpty());
    }
}

void TstExtendedWidgets::colourDialog_data()
{
    QTest::addColumn<QColor>("picked");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QColor>("emitted");
    const QColor none;
    QTest::newRow("alpha alone") << QColor(10, 20, 30, 128) << false << QColor(10, 20, 30, 128);
    QTest::newRow("another colour") << QColor(200, 0, 0) << false << QColor(200, 0, 0);
    QTest::newRow("same colour") << QColor(10, 20, 30) << false << none;
    QTest::newRow("cancelled") << QColor(200, 0, 0) << true << none;
}

void TstExtendedWidgets::colourDialog()
{
    QFETCH(QColor, picked);
    QFETCH(bool, cancelled);
    QFETCH(QColor, emitted);
    QtColorEditWidget edit;
    edit.setValue(QColor(10, 20, 30));
    QSignalSpy spy(&edit, &QtColorEditWidget::valueChanged);

    QVERIFY(ModalDriver::drive([&] { edit.findChild<QToolButton *>()->click(); }, pickOrCancel(picked, cancelled)));

    const QColor shown = emitted.isValid() ? emitted : QColor(10, 20, 30);
    QCOMPARE(spy.count(), emitted.isValid() ? 1 : 0);
    if (emitted.isValid())
        QCOMPARE(spy.at(0).at(0).value<QColor>().rgba(), emitted.rgba());
    QCOMPARE(edit.value().rgba(), shown.rgba());
    QCOMPARE(labelText(&edit), QStringLiteral("[%1, %2, %3] (%4)")
                                   .arg(shown.red())
                                   .arg(shown.green())
                                   .arg(shown.blue())
                                   .arg(shown.alpha()));
}

void TstExtendedWidgets::fontDialog_data()
{
    QTest::addColumn<QFont>("current");
    QTest::addColumn<QFont>("picked");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QFont>("emitted");

    // The dialog offers the installed families; the set-up installs DejaVu.
    const QString sans = QStringLiteral("DejaVu Sans");
    const QString serif = QStringLiteral("DejaVu Serif");
    // Weight 63 counts as bold already: the dialog's Bold changes none of the six.
    const QFont semiBold(sans, 12, 63);
    QTest::newRow("bold over weight 63") << semiBold << QFont(sans, 12, QFont::Bold) << false << semiBold;

    QFont smallCaps(sans, 12);
    smallCaps.setCapitalization(QFont::SmallCaps);
    QFont all(serif, 14, QFont::Bold, true);
    all.setUnderline(true);
    all.setStrikeOut(true);
    QFont taken = smallCaps;
    taken.setFamily(serif);
    taken.setPointSize(14);
    taken.setWeight(QFont::Bold);
    taken.setItalic(true);
    taken.setUnderline(true);
    taken.setStrikeOut(true);
    QTest::newRow("the six attributes, the rest kept") << smallCaps << all << false << taken;

    // Boldness sets the weight to 75; an italic the dialog's style lacks is dropped.
    QFont light(sans, 12, QFont::Light);
    light.setItalic(true);
    QFont boldUpright = light;
    boldUpright.setWeight(QFont::Bold);
    boldUpright.setItalic(false);
    QTest::newRow("bold over light italic") << light << QFont(sans, 12, QFont::Bold) << false << boldUpright;
    QTest::newRow("cancelled") << smallCaps << all << true << QFont();
}

void TstExtendedWidgets::fontDialog()
{
    QFETCH(QFont, current);
    QFETCH(QFont, picked);
    QFETCH(bool, cancelled);
    QFETCH(QFont, emitted);
    QtFontEditWidget edit;
    edit.setValue(current);
    QSignalSpy spy(&edit, &QtFontEditWidget::valueChanged);

    QVERIFY(ModalDriver::drive([&] { edit.findChild<QToolButton *>()->click(); }, pickOrCancel(picked, cancelled)));

    if (cancelled) {
        QCOMPARE(spy.count(), 0);
        QCOMPARE(edit.value(), current);
        return;
    }
    QCOMPARE(spy.count(), 1);
    const QFont sent = spy.at(0).at(0).value<QFont>();
    QCOMPARE(sent, emitted);
    QCOMPARE(sent.weight(), emitted.weight());
    QCOMPARE(edit.value(), emitted);
    QCOMPARE(labelText(&edit), QStringLiteral("[%1, %2]").arg(emitted.family()).arg(emitted.pointSize()));
}

void TstExtendedWidgets::buttonLeavesCommitKeysToTheParent_data()
{
    QTest::addColumn<Editor>("editor");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("filtered");
    for (const Editor editor : {Editor::Colour, Editor::Font}) {
        const char *name = editor == Editor::Colour ? "colour" : "font";
        QTest::addRow("%s, Return", name) << editor << int(Qt::Key_Return) << true;
        QTest::addRow("%s, Enter", name) << editor << int(Qt::Key_Enter) << true;
        QTest::addRow("%s, Escape", name) << editor << int(Qt::Key_Escape) << true;
        QTest::addRow("%s, Space", name) << editor << int(Qt::Key_Space) << false;
    }
}

void TstExtendedWidgets::buttonLeavesCommitKeysToTheParent()
{
    QFETCH(Editor, editor);
    QFETCH(int, key);
    QFETCH(bool, filtered);
    KeyRecorder parent;
    QWidget *edit = editor == Editor::Colour ? static_cast<QWidget *>(new QtColorEditWidget(&parent))
                                             : static_cast<QWidget *>(new QtFontEditWidget(&parent));
    auto *button = edit->findChild<QToolButton *>();
    QCOMPARE(edit->focusProxy(), button);

    // The editor's filter takes the key from the button, unaccepted.
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, Qt::NoModifier);
        QCOMPARE(edit->eventFilter(button, &event), filtered);
        if (filtered)
            QVERIFY(!event.isAccepted());
    }
    if (!filtered)
        return;
    // So a key pressed on the button travels on to the parent.
    QTest::keyClick(button, Qt::Key(key));
    QCOMPARE(parent.keys, QVector<int>{key});
}

QTEST_MAIN(TstExtendedWidgets)
#include "tst_extendedwidgets.moc"
