#include "connectwarningguard.h"
#include "propertytesting.h"

#include "propertybrowser/qtstringpropertymanager.h"

#include <QTest>

using StringStep = ManagerStep<QtStringPropertyManager>;
Q_DECLARE_METATYPE(StringStep)

class TstStringPropertyManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { ConnectWarningGuard::install(); }
    void defaults();
    void setters_data();
    void setters();
    void displayTextAsALineEditShowsIt_data();
    void displayTextAsALineEditShowsIt();
};

void TstStringPropertyManager::defaults()
{
    QtStringPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QVERIFY(manager.value(p).isNull());
    QVERIFY(manager.regExp(p).isValid());
    QVERIFY(manager.inputMask(p).isEmpty());
    QCOMPARE(manager.echoMode(p), int(QLineEdit::Normal));
    QCOMPARE(manager.isReadOnly(p), false);
    QCOMPARE(manager.isBtnVisible(p), false);
    QCOMPARE(manager.btnCaption(p), QStringLiteral("Редактировать"));

    // The default expression takes any text.
    const QString text = QStringLiteral("любой текст: *?[]");
    manager.setValue(p, text);
    QCOMPARE(manager.value(p), text);
    QCOMPARE(p->valueText(), text);
    QCOMPARE(p->displayText(), text);

    QtStringPropertyManager other;
    QtProperty *foreign = other.addProperty(QStringLiteral("F"));
    QCOMPARE(manager.regExp(foreign), QRegExp());
    QCOMPARE(manager.echoMode(foreign), 0);
    QVERIFY(manager.btnCaption(foreign).isEmpty());
}

void TstStringPropertyManager::setters_data()
{
    QTest::addColumn<StringStep>("action");
    QTest::addColumn<QStringList>("emitted");
    QTest::addColumn<QString>("value");

    QTest::newRow("new text, then the same")
        << StringStep([](QtStringPropertyManager &m, QtProperty *p) {
               m.setValue(p, QStringLiteral("a"));
               m.setValue(p, QStringLiteral("a"));
           })
        << QStringList{"propertyChanged(P)", "valueChanged(P,a)"} << "a";
    QTest::newRow("same text announced again")
        << StringStep([](QtStringPropertyManager &m, QtProperty *p) {
               m.setValue(p, QStringLiteral("a"));
               m.setValue(p, QStringLiteral("a"), false);
           })
        << QStringList{"propertyChanged(P)", "valueChanged(P,a)", "propertyChanged(P)", "valueChanged(P,a)"}
        << "a";
    QTest::newRow("a text the expression refuses is ignored")
        << StringStep([](QtStringPropertyManager &m, QtProperty *p) {
               m.setRegExp(p, QRegExp(QStringLiteral("[0-9]+")));
               m.setValue(p, QStringLiteral("12"));
               m.setValue(p, QStringLiteral("12a"));
               m.setValue(p, QStringLiteral("x"), false);
           })
        << QStringList{"regExpChanged(P,[0-9]+)", "propertyChanged(P)", "valueChanged(P,12)"} << "12";
    QTest::newRow("an invalid expression refuses nothing")
        << StringStep([](QtStringPropertyManager &m, QtProperty *p) {
               m.setRegExp(p, QRegExp(QStringLiteral("(")));
               m.setValue(p, QStringLiteral("x"));
           })
        << QStringList{"regExpChanged(P,()", "propertyChanged(P)", "valueChanged(P,x)"} << "x";
    QTest::newRow("an equal expression is not announced")
        << StringStep([](QtStringPropertyManager &m, QtProperty *p) {
               m.setRegExp(p, QRegExp(QStringLiteral("*"), Qt::CaseSensitive, QRegExp::Wildcard));
           })
        << QStringList() << QString();
    QTest::newRow("input mask")
        << StringStep([](QtStringPropertyManager &m, QtProperty *p) {
               m.setInputMask(p, QStringLiteral("000"));
               m.setInputMask(p, QStringLiteral("000"));
               QCOMPARE(m.inputMask(p), QStringLiteral("000"));
           })
        << QStringList{"inputMaskChanged(P,000)"} << QString();
    QTest::newRow("echo mode")
        << StringStep([](QtStringPropertyManager &m, QtProperty *p) {
               m.setEchoMode(p, QLineEdit::Password);
               m.setEchoMode(p, QLineEdit::Password);
               QCOMPARE(m.echoMode(p), int(QLineEdit::Password));
           })
        << QStringList{"propertyChanged(P)", "echoModeChanged(P,2)"} << QString();
    QTest::newRow("read-only flag and button settings")
        << StringStep([](QtStringPropertyManager &m, QtProperty *p) {
               m.setReadOnly(p, true);
               m.setReadOnly(p, true);
               m.setBtnVisibility(p, true);
               m.setBtnCaption(p, QStringLiteral("Редактировать"));
               m.setBtnCaption(p, QStringLiteral("Изменить"));
           })
        << QStringList{"propertyChanged(P)", "readOnlyChanged(P,true)", "propertyChanged(P)",
                       "propertyChanged(P)"}
        << QString();
}

void TstStringPropertyManager::setters()
{
    QFETCH(StringStep, action);

    QtStringPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    QTEST(signalsOf<QtStringPropertyManager>(manager, p, action), "emitted");
    QTEST(manager.value(p), "value");
}

void TstStringPropertyManager::displayTextAsALineEditShowsIt_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("normal") << int(QLineEdit::Normal);
    QTest::newRow("no echo") << int(QLineEdit::NoEcho);
    QTest::newRow("password") << int(QLineEdit::Password);
    QTest::newRow("password echo on edit") << int(QLineEdit::PasswordEchoOnEdit);
}

void TstStringPropertyManager::displayTextAsALineEditShowsIt()
{
    QFETCH(int, mode);
    const QString secret = QStringLiteral("тайна42");

    QtStringPropertyManager manager;
    QtProperty *p = manager.addProperty(QStringLiteral("P"));
    manager.setValue(p, secret);
    manager.setEchoMode(p, QLineEdit::EchoMode(mode));

    QLineEdit edit;
    edit.setEchoMode(QLineEdit::EchoMode(mode));
    edit.setText(secret);
    QCOMPARE(p->displayText(), edit.displayText());
    QCOMPARE(p->valueText(), secret);
    if (mode != QLineEdit::Normal)
        QVERIFY(!p->displayText().contains(QStringLiteral("тайна")));
}

QTEST_MAIN(TstStringPropertyManager)
#include "tst_stringpropertymanager.moc"
