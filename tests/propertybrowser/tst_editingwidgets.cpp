#include "connectwarningguard.h"

#include "propertybrowser/qteditingwidgets.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// The editors with an action button, the double spin box that reports Return and
// the check box with a text, driven by real key and mouse events.
class TstEditingWidgets : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void commitKeys_data();
    void commitKeys();
    void buttonClicksAreReported();
    void settingTheShownValueLeavesTheFieldAlone();
    void doubleSpinBoxReportsReturnAfterReadingTheText();
    void boolEditText();
    void boolEditTakesClicksAnywhere();
    void editorMarginFollowsLayoutDirection_data();
    void editorMarginFollowsLayoutDirection();
    void shownEditorIsLaidOut_data();
    void shownEditorIsLaidOut();
};

namespace {

enum class Target { Field, Button };

// An editor with a button, its commit signal and where a key goes.
struct ButtonEditor
{
    std::unique_ptr<QWidget> editor;
    QWidget *field;
    QToolButton *button;
    const char *commit;
    const char *clicked;
};

ButtonEditor makeEditor(bool spinBox)
{
    if (spinBox) {
        auto editor = std::make_unique<QtSpinBoxEditWidget2>();
        editor->setRange(0, 100);
        editor->setValue(42);
        QWidget *field = editor->spinBox();
        QToolButton *button = editor->button();
        return {std::move(editor), field, button, SIGNAL(valueChanged(int)), SIGNAL(scriptCalled())};
    }
    auto editor = std::make_unique<QtLineEditWidget2>();
    editor->setValue(QStringLiteral("42"));
    QWidget *field = editor->lineEdit();
    QToolButton *button = editor->button();
    return {std::move(editor), field, button, SIGNAL(valueChanged()), SIGNAL(btnClicked())};
}

} // namespace

Q_DECLARE_METATYPE(Target)

void TstEditingWidgets::commitKeys_data()
{
    QTest::addColumn<bool>("spinBox");
    QTest::addColumn<Target>("target");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("commits");

    for (const bool spinBox : {true, false}) {
        const char *name = spinBox ? "spin box" : "line edit";
        QTest::addRow("%s: Return in the field", name) << spinBox << Target::Field << int(Qt::Key_Return) << 1;
        QTest::addRow("%s: Enter in the field", name) << spinBox << Target::Field << int(Qt::Key_Enter) << 1;
        QTest::addRow("%s: Escape in the field", name) << spinBox << Target::Field << int(Qt::Key_Escape) << 0;
        QTest::addRow("%s: a digit in the field", name) << spinBox << Target::Field << int(Qt::Key_7) << 0;
        QTest::addRow("%s: Return on the button", name) << spinBox << Target::Button << int(Qt::Key_Return) << 1;
        QTest::addRow("%s: Escape on the button", name) << spinBox << Target::Button << int(Qt::Key_Escape) << 0;
    }
}

void TstEditingWidgets::commitKeys()
{
    QFETCH(bool, spinBox);
    QFETCH(Target, target);
    QFETCH(int, key);
    QFETCH(int, commits);

    ButtonEditor e = makeEditor(spinBox);
    e.editor->show();
    QSignalSpy committed(e.editor.get(), e.commit);
    QSignalSpy clicked(e.editor.get(), e.clicked);
    QWidget *receiver = target == Target::Field ? e.field : e.button;
    QTest::keyClick(receiver, static_cast<Qt::Key>(key));

    QCOMPARE(committed.count(), commits);
    QCOMPARE(clicked.count(), 0);
    // The value shown is committed, unchanged or not.
    if (commits && spinBox)
        QCOMPARE(committed.first().first().toInt(), 42);
}

void TstEditingWidgets::buttonClicksAreReported()
{
    for (const bool spinBox : {true, false}) {
        ButtonEditor e = makeEditor(spinBox);
        e.editor->show();
        QSignalSpy committed(e.editor.get(), e.commit);
        QSignalSpy clicked(e.editor.get(), e.clicked);
        QTest::mouseClick(e.button, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(committed.count(), 0);
    }
    QtSpinBoxEditWidget2 spin;
    QCOMPARE(spin.button()->text(), QStringLiteral("Рассчитать"));
    QCOMPARE(spin.focusProxy(), spin.button());
    QtLineEditWidget2 line;
    QCOMPARE(line.button()->text(), QStringLiteral("Редактировать"));
    QCOMPARE(line.focusProxy(), line.button());
}

void TstEditingWidgets::settingTheShownValueLeavesTheFieldAlone()
{
    QtLineEditWidget2 line;
    line.setValue(QStringLiteral("abcdef"));
    line.lineEdit()->setCursorPosition(2);
    line.setValue(QStringLiteral("abcdef"));
    QCOMPARE(line.lineEdit()->cursorPosition(), 2);
    line.setValue(QStringLiteral("xyz"));
    QCOMPARE(line.value(), QStringLiteral("xyz"));

    QtSpinBoxEditWidget2 spin;
    QSignalSpy changed(spin.spinBox(), SIGNAL(valueChanged(int)));
    spin.setValue(0);
    QCOMPARE(changed.count(), 0);
    spin.setValue(5);
    QCOMPARE(spin.value(), 5);
    QVERIFY(!spin.keyboardTracking());
}

void TstEditingWidgets::doubleSpinBoxReportsReturnAfterReadingTheText()
{
    QtDoubleSpinBox2 spin;
    spin.setLocale(QLocale::c());
    spin.setKeyboardTracking(false);
    spin.setRange(0, 100);
    spin.show();
    double seen = -1;
    connect(&spin, &QtDoubleSpinBox2::enterPressed, this, [&] { seen = spin.value(); });

    spin.selectAll();
    QTest::keyClicks(&spin, QStringLiteral("12.5"));
    QCOMPARE(seen, -1.0);
    QTest::keyClick(&spin, Qt::Key_Return);
    QCOMPARE(seen, 12.5);

    seen = -1;
    QTest::keyClick(&spin, Qt::Key_Escape);
    QTest::keyClick(&spin, Qt::Key_Up);
    QCOMPARE(seen, -1.0);
}

void TstEditingWidgets::boolEditText()
{
    QtBoolEdit edit;
    auto *box = edit.findChild<QCheckBox *>();
    QVERIFY(box);
    // Fresh: "True" whatever the state.
    QVERIFY(!edit.isChecked());
    QCOMPARE(box->text(), QStringLiteral("True"));
    QVERIFY(edit.textVisible());

    edit.setChecked(false);
    QCOMPARE(box->text(), QStringLiteral("False"));
    edit.setTextVisible(false);
    QCOMPARE(box->text(), QString());
    edit.setChecked(true);
    QCOMPARE(box->text(), QString());
    edit.setTextVisible(true);
    QCOMPARE(box->text(), QStringLiteral("True"));
    edit.setCheckState(Qt::Unchecked);
    QCOMPARE(box->text(), QStringLiteral("True"));
    QCOMPARE(edit.checkState(), Qt::Unchecked);

    // The factory blocks the inner check box only.
    QSignalSpy toggled(&edit, SIGNAL(toggled(bool)));
    edit.blockCheckBoxSignals(true);
    edit.setChecked(true);
    edit.blockCheckBoxSignals(false);
    QCOMPARE(toggled.count(), 0);
    QVERIFY(!edit.signalsBlocked());
    edit.setChecked(false);
    QCOMPARE(toggled.count(), 1);
}

void TstEditingWidgets::boolEditTakesClicksAnywhere()
{
    QtBoolEdit edit;
    edit.resize(200, 30);
    edit.show();
    QSignalSpy toggled(&edit, SIGNAL(toggled(bool)));
    const QPoint farRight(edit.width() - 3, edit.height() / 2);
    QTest::mouseClick(&edit, Qt::LeftButton, {}, farRight);
    QCOMPARE(toggled.count(), 1);
    QVERIFY(edit.isChecked());
    QTest::mouseClick(&edit, Qt::RightButton, {}, farRight);
    QCOMPARE(toggled.count(), 1);
}

void TstEditingWidgets::editorMarginFollowsLayoutDirection_data()
{
    QTest::addColumn<Qt::LayoutDirection>("direction");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::newRow("left to right") << Qt::LeftToRight << 4 << 0;
    QTest::newRow("right to left") << Qt::RightToLeft << 0 << 4;
}

void TstEditingWidgets::editorMarginFollowsLayoutDirection()
{
    QFETCH(Qt::LayoutDirection, direction);
    QFETCH(int, left);
    QFETCH(int, right);
    const QMargins margins(left, 0, right, 0);
    const Qt::LayoutDirection before = QApplication::layoutDirection();
    QApplication::setLayoutDirection(direction);
    QtLineEditWidget2 line;
    QtBoolEdit check;
    QApplication::setLayoutDirection(before);
    QCOMPARE(line.layout()->contentsMargins(), margins);
    QCOMPARE(line.layout()->spacing(), 0);
    QCOMPARE(check.layout()->contentsMargins(), margins);
}

// Shown, an editor lays its field out across its width (in front of its button).
void TstEditingWidgets::shownEditorIsLaidOut_data()
{
    QTest::addColumn<bool>("withButton");
    QTest::newRow("check box") << false;
    QTest::newRow("line edit with a button") << true;
}

void TstEditingWidgets::shownEditorIsLaidOut()
{
    QFETCH(bool, withButton);
    std::unique_ptr<QWidget> editor;
    QWidget *field = nullptr;
    if (withButton) {
        auto line = std::make_unique<QtLineEditWidget2>();
        field = line->lineEdit();
        editor = std::move(line);
    } else {
        auto check = std::make_unique<QtBoolEdit>();
        field = check->findChild<QCheckBox *>();
        editor = std::move(check);
    }
    editor->resize(600, 30);
    editor->show();
    auto laidOut = [&] {
        const QRect inside = editor->rect();
        return inside.contains(field->geometry()) && field->width() > inside.width() / 2;
    };
    QTRY_VERIFY(laidOut());
    if (withButton)
        QVERIFY(field->geometry().right() < static_cast<QtLineEditWidget2 *>(editor.get())->button()->x());
}

QTEST_MAIN(TstEditingWidgets)
#include "tst_editingwidgets.moc"
