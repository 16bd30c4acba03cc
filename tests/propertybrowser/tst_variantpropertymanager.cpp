#include "connectwarningguard.h"
#include "extendedtesting.h"
#include "propertytesting.h"

#include "propertybrowser/extended/qtfontpropertymanager.h"
#include "propertybrowser/extended/qtvariantproperty.h"
#include "propertybrowser/qtintpropertymanager.h"
#include "propertybrowser/qtstringpropertymanager.h"

#include <QTest>

#include <cmath>
#include <functional>
#include <utility>

// The variant manager: the type table, values and attributes through QVariant with
// their conversions, the relayed signals, and the sub-properties it mirrors.
class TstVariantPropertyManager : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void typeTable_data();
    void typeTable();
    void unsupportedTypesMakeNothing();
    void typeIds();
    void setValue_data();
    void setValue();
    void setAttribute_data();
    void setAttribute();
    void groupHasNoValue();
    void valueTextPrefersDisplayText();
    void subProperties_data();
    void subProperties();
    void subPropertyEdits_data();
    void subPropertyEdits();
    void insertedSubPropertyIsMirroredWithItsTexts();
    void deletingVariantDeletesInternal();
    void deletingInternalSubDeletesVariantOnce();
    void deletedByAHandlerIsAnnouncedNoFurther_data();
    void deletedByAHandlerIsAnnouncedNoFurther();
    void destroyingManagerFreesAll();
    void managersShareTheInternalMap();
    void compoundUndoneWhileItsPartsAreMade_data();
    void compoundUndoneWhileItsPartsAreMade();
    void partsDestroyedDuringAClear_data();
    void partsDestroyedDuringAClear();
};

namespace {

using Step = std::function<void(QtVariantPropertyManager &, QtVariantProperty *)>;

QString typeName(int type) { return QString::fromLatin1(QMetaType::typeName(type)); }

// The variant manager's typed manager of that class (a direct child).
QtAbstractPropertyManager *typedManager(const QtVariantPropertyManager &manager, const char *className)
{
    const auto children = manager.findChildren<QtAbstractPropertyManager *>(QString(), Qt::FindDirectChildrenOnly);
    for (QtAbstractPropertyManager *child : children) {
        if (qstrcmp(child->metaObject()->className(), className) == 0)
            return child;
    }
    return nullptr;
}

// "Name:Type" of every sub-property, with the variant type by name.
QStringList subTypes(const QtVariantProperty *property)
{
    QStringList out;
    for (QtProperty *sub : property->subProperties()) {
        const auto *variant = static_cast<const QtVariantProperty *>(sub);
        out << sub->propertyName() + QLatin1Char(':') + typeName(variant->propertyType());
    }
    return out;
}

// The properties all the typed managers hold, the internal ones.
int internalCount(const QtVariantPropertyManager &manager)
{
    int count = 0;
    for (const QtAbstractPropertyManager *typed : manager.findChildren<QtAbstractPropertyManager *>())
        count += typed->properties().size();
    return count;
}

// Every variant property has its internal property, and there are no others.
void checkPairs(const QtVariantPropertyManager &manager)
{
    const QSet<QtProperty *> variants = manager.properties();
    for (const QtProperty *p : variants) {
        QVERIFY(internalPropertyOf(p) || manager.propertyType(p) == QtVariantPropertyManager::groupTypeId());
        QCOMPARE(manager.variantProperty(p), p);
    }
    QCOMPARE(internalCount(manager), variants.size());
}

} // namespace

Q_DECLARE_METATYPE(Step)

void TstVariantPropertyManager::initTestCase() { ConnectWarningGuard::install(); }

void TstVariantPropertyManager::typeTable_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("valueType");
    QTest::addColumn<QByteArray>("managerClass");
    // "name=Type" in the order attributes() gives them.
    QTest::addColumn<QStringList>("attributes");

    const QString iconMap = typeName(QtVariantPropertyManager::iconMapTypeId());
    auto row = [](const char *name, int type, int valueType, const char *manager, const QStringList &attributes) {
        QTest::newRow(name) << type << valueType << QByteArray(manager) << attributes;
    };
    row("Int", QMetaType::Int, QMetaType::Int, "QtIntPropertyManager",
        {"btnCaption=QString", "btnVisible=bool", "maximum=int", "minimum=int", "readOnly=bool", "singleStep=int"});
    row("Double", QMetaType::Double, QMetaType::Double, "QtDoublePropertyManager",
        {"decimals=int", "maximum=double", "minimum=double", "readOnly=bool", "singleStep=double"});
    row("Bool", QMetaType::Bool, QMetaType::Bool, "QtBoolPropertyManager", {"textVisible=bool"});
    row("QString", QMetaType::QString, QMetaType::QString, "QtStringPropertyManager",
        {"echoMode=int", "readOnly=bool", "regExp=QRegExp"});
    row("QDate", QMetaType::QDate, QMetaType::QDate, "QtDatePropertyManager", {"maximum=QDate", "minimum=QDate"});
    row("QTime", QMetaType::QTime, QMetaType::QTime, "QtTimePropertyManager", {});
    row("QDateTime", QMetaType::QDateTime, QMetaType::QDateTime, "QtDateTimePropertyManager", {});
    row("QKeySequence", QMetaType::QKeySequence, QMetaType::QKeySequence, "QtKeySequencePropertyManager", {});
    row("QChar", QMetaType::QChar, QMetaType::QChar, "QtCharPropertyManager", {});
    row("QLocale", QMetaType::QLocale, QMetaType::QLocale, "QtLocalePropertyManager", {});
    row("QPoint", QMetaType::QPoint, QMetaType::QPoint, "QtPointPropertyManager", {});
    row("QPointF", QMetaType::QPointF, QMetaType::QPointF, "QtPointFPropertyManager", {"decimals=int"});
    row("QSize", QMetaType::QSize, QMetaType::QSize, "QtSizePropertyManager", {"maximum=QSize", "minimum=QSize"});
    row("QSizeF", QMetaType::QSizeF, QMetaType::QSizeF, "QtSizeFPropertyManager",
        {"decimals=int", "maximum=QSizeF", "minimum=QSizeF"});
    row("QRect", QMetaType::QRect, QMetaType::QRect, "QtRectPropertyManager", {"constraint=QRect"});
    row("QRectF", QMetaType::QRectF, QMetaType::QRectF, "QtRectFPropertyManager",
        {"constraint=QRectF", "decimals=int"});
    row("QColor", QMetaType::QColor, QMetaType::QColor, "QtColorPropertyManager", {});
    row("enum", QtVariantPropertyManager::enumTypeId(), QMetaType::Int, "QtEnumPropertyManager",
        {"enumIcons=" + iconMap, "enumNames=QStringList"});
    row("QSizePolicy", QMetaType::QSizePolicy, QMetaType::QSizePolicy, "QtSizePolicyPropertyManager", {});
    row("QFont", QMetaType::QFont, QMetaType::QFont, "QtFontPropertyManager", {});
    row("QCursor", QMetaType::QCursor, QMetaType::QCursor, "QtCursorPropertyManager", {});
    row("flag", QtVariantPropertyManager::flagTypeId(), QMetaType::Int, "QtFlagPropertyManager",
        {"flagNames=QStringList"});
    row("group", QtVariantPropertyManager::groupTypeId(), 0, "QtGroupPropertyManager", {});
}

void TstVariantPropertyManager::typeTable()
{
    QFETCH(int, type);
    QFETCH(int, valueType);
    QFETCH(QByteArray, managerClass);
    QFETCH(QStringList, attributes);

    QtVariantPropertyManager manager;
    QCOMPARE(manager.findChildren<QtAbstractPropertyManager *>(QString(), Qt::FindDirectChildrenOnly).size(), 23);
    QVERIFY(manager.isPropertyTypeSupported(type));
    QCOMPARE(manager.valueType(type), valueType);

    QtVariantProperty *p = manager.addProperty(type, QStringLiteral("P"));
    QVERIFY(p);
    QCOMPARE(p->propertyName(), QStringLiteral("P"));
    QCOMPARE(p->propertyType(), type);
    QCOMPARE(p->valueType(), valueType);
    QCOMPARE(manager.variantProperty(p), p);
    QCOMPARE(p->value().userType(), valueType);

    // The typed manager holds exactly one internal property, unnamed.
    QtAbstractPropertyManager *typed = typedManager(manager, managerClass.constData());
    QVERIFY(typed);
    QCOMPARE(typed->properties().size(), 1);
    QtProperty *internal = *typed->properties().cbegin();
    QCOMPARE(internalPropertyOf(p), internal);
    QVERIFY(internal->propertyName().isEmpty());

    QStringList actual;
    for (const QString &attribute : manager.attributes(type)) {
        const int attributeType = manager.attributeType(type, attribute);
        actual << attribute + QLatin1Char('=') + typeName(attributeType);
        // Every attribute reads back through the typed manager, in its type.
        QCOMPARE(p->attributeValue(attribute).userType(), attributeType);
    }
    QCOMPARE(actual, attributes);
    QCOMPARE(manager.attributeType(type, QStringLiteral("nothing")), 0);
    QVERIFY(!p->attributeValue(QStringLiteral("nothing")).isValid());
}

void TstVariantPropertyManager::unsupportedTypesMakeNothing()
{
    QtVariantPropertyManager manager;
    SignalLog log{&manager};
    QVERIFY(!manager.isPropertyTypeSupported(QMetaType::QUrl));
    QCOMPARE(manager.addProperty(QMetaType::QUrl, QStringLiteral("U")), nullptr);
    QCOMPARE(manager.addProperty(0, QStringLiteral("N")), nullptr);
    // Only the typed addProperty makes variant properties.
    QCOMPARE(static_cast<QtAbstractPropertyManager &>(manager).addProperty(QStringLiteral("D")), nullptr);
    QCOMPARE(log.entries(), QStringList());
    QVERIFY(manager.properties().isEmpty());
    QCOMPARE(manager.valueType(QMetaType::QUrl), 0);
    QCOMPARE(manager.attributes(QMetaType::QUrl), QStringList());
    QCOMPARE(manager.attributeType(QMetaType::QUrl, QStringLiteral("minimum")), 0);
}

void TstVariantPropertyManager::typeIds()
{
    const int ids[] = {QtVariantPropertyManager::enumTypeId(), QtVariantPropertyManager::flagTypeId(),
                       QtVariantPropertyManager::groupTypeId()};
    const char *names[] = {"QtEnumPropertyType", "QtFlagPropertyType", "QtGroupPropertyType"};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(QMetaType::type(names[i]), ids[i]);
        QVERIFY(ids[i] >= QMetaType::User);
    }
    QCOMPARE(QMetaType::type("QtIconMap"), QtVariantPropertyManager::iconMapTypeId());
    QCOMPARE(QtVariantPropertyManager::enumTypeId(), ids[0]);
}

void TstVariantPropertyManager::setValue_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<QStringList>("signalsEmitted");

    // Int properties start at 3, so that a refused value is told from a 0 that got in.
    const QStringList none;
    const QStringList seven{"valueChanged(P,7)", "propertyChanged(P)"};
    const int Int = QMetaType::Int;
    const QVariant three(3);
    QTest::newRow("int") << Int << QVariant(7) << QVariant(7) << seven;
    QTest::newRow("text 7") << Int << QVariant(QStringLiteral("7")) << QVariant(7) << seven;
    QTest::newRow("equal value") << Int << QVariant(3) << three << none;
    QTest::newRow("double rounds") << Int << QVariant(6.6) << QVariant(7) << seven;
    QTest::newRow("negative double rounds") << Int << QVariant(-6.6) << QVariant(-7)
                                            << QStringList{"valueChanged(P,-7)", "propertyChanged(P)"};
    QTest::newRow("int maximum as text") << Int << QVariant(QStringLiteral("2147483647")) << QVariant(2147483647)
                                         << QStringList{"valueChanged(P,2147483647)", "propertyChanged(P)"};
    // Qt reports no failure for these, or converts anyway: each would set a number.
    QTest::newRow("text no number") << Int << QVariant(QStringLiteral("abc")) << three << none;
    QTest::newRow("text past int") << Int << QVariant(QStringLiteral("99999999999")) << three << none;
    QTest::newRow("text below int") << Int << QVariant(QStringLiteral("-2147483649")) << three << none;
    QTest::newRow("double past int") << Int << QVariant(3e9) << three << none;
    QTest::newRow("double not a number") << Int << QVariant(std::nan("")) << three << none;
    QTest::newRow("long long past int") << Int << QVariant(qlonglong(5000000000LL)) << three << none;
    QTest::newRow("unsigned long long past int") << Int << QVariant((qulonglong(1) << 63) + 5) << three << none;
    QTest::newRow("rect") << Int << QVariant(QRect(1, 2, 3, 4)) << three << none;
    QTest::newRow("invalid") << Int << QVariant() << three << none;
    QTest::newRow("double from text") << int(QMetaType::Double) << QVariant(QStringLiteral("2.5")) << QVariant(2.5)
                                      << QStringList{"valueChanged(P,2.5)", "propertyChanged(P)"};
    QTest::newRow("double from no number") << int(QMetaType::Double) << QVariant(QStringLiteral("x")) << QVariant(0.0)
                                           << none;
    QTest::newRow("string from int") << int(QMetaType::QString) << QVariant(12) << QVariant(QStringLiteral("12"))
                                     << QStringList{"valueChanged(P,12)", "propertyChanged(P)"};
    QTest::newRow("char past 16 bits") << int(QMetaType::QChar) << QVariant(0x10041) << QVariant(QChar()) << none;
    QTest::newRow("size") << int(QMetaType::QSize) << QVariant(QSize(3, 4)) << QVariant(QSize(3, 4))
                          << QStringList{"valueChanged(P,QSize)", "propertyChanged(P)"};
    QTest::newRow("enumeration without names") << QtVariantPropertyManager::enumTypeId() << QVariant(1) << QVariant(-1)
                                               << none;
}

void TstVariantPropertyManager::setValue()
{
    QFETCH(int, type);
    QFETCH(QVariant, input);
    QFETCH(QVariant, expected);
    QFETCH(QStringList, signalsEmitted);

    QtVariantPropertyManager manager;
    QtVariantProperty *p = manager.addProperty(type, QStringLiteral("P"));
    if (type == QMetaType::Int)
        p->setValue(3);
    SignalLog log{&manager};
    p->setValue(input);
    QCOMPARE(p->value(), expected);
    // The sub-properties of a compound value announce their own changes as well.
    QStringList own;
    for (const QString &entry : log.entries()) {
        if (entry.contains(QLatin1String("(P")))
            own << entry;
    }
    QCOMPARE(own, signalsEmitted);
}

void TstVariantPropertyManager::setAttribute_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<QVariant>("readBack");
    QTest::addColumn<QStringList>("signalsEmitted");

    const QStringList none;
    const int Int = QMetaType::Int;
    QTest::newRow("minimum moves the value")
        << Int << "minimum" << QVariant(10) << QVariant(10)
        << QStringList{"attributeChanged(P,minimum,10)", "attributeChanged(P,maximum,2147483647)",
                       "valueChanged(P,10)", "propertyChanged(P)"};
    QTest::newRow("minimum below the value")
        << Int << "minimum" << QVariant(-5) << QVariant(-5)
        << QStringList{"attributeChanged(P,minimum,-5)", "attributeChanged(P,maximum,2147483647)"};
    QTest::newRow("maximum from text")
        << Int << "maximum" << QVariant(QStringLiteral("50")) << QVariant(50)
        << QStringList{"attributeChanged(P,minimum,-2147483647)", "attributeChanged(P,maximum,50)"};
    QTest::newRow("maximum past int") << Int << "maximum" << QVariant(QStringLiteral("99999999999"))
                                      << QVariant(2147483647) << none;
    QTest::newRow("minimum no number") << Int << "minimum" << QVariant(QStringLiteral("abc"))
                                       << QVariant(-2147483647) << none;
    QTest::newRow("single step") << Int << "singleStep" << QVariant(5) << QVariant(5)
                                 << QStringList{"attributeChanged(P,singleStep,5)"};
    QTest::newRow("decimals is no int attribute") << Int << "decimals" << QVariant(3) << QVariant() << none;
    QTest::newRow("unknown attribute") << Int << "colour" << QVariant(3) << QVariant() << none;
    QTest::newRow("invalid value") << Int << "minimum" << QVariant() << QVariant(-2147483647) << none;
    QTest::newRow("int read-only is silent") << Int << "readOnly" << QVariant(true) << QVariant(true) << none;
    QTest::newRow("button caption is silent") << Int << "btnCaption" << QVariant(QStringLiteral("Go"))
                                              << QVariant(QStringLiteral("Go")) << none;
    QTest::newRow("double read-only is silent") << int(QMetaType::Double) << "readOnly" << QVariant(true)
                                                << QVariant(true) << none;
    QTest::newRow("double decimals") << int(QMetaType::Double) << "decimals" << QVariant(3) << QVariant(3)
                                     << QStringList{"attributeChanged(P,decimals,3)"};
    QTest::newRow("string read-only is reported") << int(QMetaType::QString) << "readOnly" << QVariant(true)
                                                  << QVariant(true)
                                                  << QStringList{"attributeChanged(P,readOnly,true)"};
    QTest::newRow("echo mode") << int(QMetaType::QString) << "echoMode" << QVariant(2) << QVariant(2)
                               << QStringList{"attributeChanged(P,echoMode,2)"};
    QTest::newRow("expression") << int(QMetaType::QString) << "regExp" << QVariant(QRegExp(QStringLiteral("[0-9]*")))
                                << QVariant(QRegExp(QStringLiteral("[0-9]*")))
                                << QStringList{"attributeChanged(P,regExp,[0-9]*)"};
    QTest::newRow("text visible") << int(QMetaType::Bool) << "textVisible" << QVariant(false) << QVariant(false)
                                  << QStringList{"attributeChanged(P,textVisible,false)"};
    QTest::newRow("enumeration names")
        << QtVariantPropertyManager::enumTypeId() << "enumNames"
        << QVariant(QStringList{QStringLiteral("a"), QStringLiteral("b")})
        << QVariant(QStringList{QStringLiteral("a"), QStringLiteral("b")})
        << QStringList{"attributeChanged(P,enumNames,a|b)", "valueChanged(P,0)", "propertyChanged(P)"};
    QTest::newRow("enumeration names from text")
        << QtVariantPropertyManager::enumTypeId() << "enumNames" << QVariant(QStringLiteral("a"))
        << QVariant(QStringList{QStringLiteral("a")})
        << QStringList{"attributeChanged(P,enumNames,a)", "valueChanged(P,0)", "propertyChanged(P)"};
    QTest::newRow("size minimum") << int(QMetaType::QSize) << "minimum" << QVariant(QSize(1, 1))
                                  << QVariant(QSize(1, 1))
                                  << QStringList{"attributeChanged(P,minimum,QSize)", "attributeChanged(P,maximum,QSize)",
                                                 "valueChanged(P,QSize)", "propertyChanged(P)"};
    QTest::newRow("rect constraint from text") << int(QMetaType::QRect) << "constraint" << QVariant(QStringLiteral("x"))
                                               << QVariant(QRect()) << none;
    QTest::newRow("point-F decimals") << int(QMetaType::QPointF) << "decimals" << QVariant(4) << QVariant(4)
                                      << QStringList{"attributeChanged(P,decimals,4)"};
}

void TstVariantPropertyManager::setAttribute()
{
    QFETCH(int, type);
    QFETCH(QString, attribute);
    QFETCH(QVariant, input);
    QFETCH(QVariant, readBack);
    QFETCH(QStringList, signalsEmitted);

    QtVariantPropertyManager manager;
    QtVariantProperty *p = manager.addProperty(type, QStringLiteral("P"));
    SignalLog log{&manager};
    p->setAttribute(attribute, input);
    QCOMPARE(p->attributeValue(attribute), readBack);
    QStringList own;
    for (const QString &entry : log.entries()) {
        if (entry.contains(QLatin1String("(P")))
            own << entry;
    }
    QCOMPARE(own, signalsEmitted);
}

void TstVariantPropertyManager::groupHasNoValue()
{
    QtVariantPropertyManager manager;
    QtVariantProperty *group = manager.addProperty(QtVariantPropertyManager::groupTypeId(), QStringLiteral("G"));
    QtVariantProperty *number = manager.addProperty(QMetaType::Int, QStringLiteral("N"));
    QVERIFY(!group->hasValue());
    QVERIFY(number->hasValue());
    QVERIFY(!group->value().isValid());
    QCOMPARE(group->valueType(), 0);
    SignalLog log{&manager};
    group->setValue(5);
    group->setValue(QStringLiteral("5"));
    QCOMPARE(log.entries(), QStringList());
    QVERIFY(group->valueText().isEmpty());

    // A property of another manager is unknown here: it has a value, but none to read.
    QtIntPropertyManager other;
    QtProperty *foreign = other.addProperty(QStringLiteral("F"));
    QVERIFY(manager.hasValue(foreign));
    QVERIFY(!manager.value(foreign).isValid());
    QCOMPARE(manager.propertyType(foreign), 0);
    QCOMPARE(manager.variantProperty(foreign), nullptr);
    manager.setValue(foreign, 3);
    QCOMPARE(other.value(foreign), 0);
}

void TstVariantPropertyManager::valueTextPrefersDisplayText()
{
    QtVariantPropertyManager manager;
    QtVariantProperty *secret = manager.addProperty(QMetaType::QString, QStringLiteral("S"));
    secret->setValue(QStringLiteral("abc"));
    QCOMPARE(secret->valueText(), QStringLiteral("abc"));
    secret->setAttribute(QStringLiteral("echoMode"), int(QLineEdit::Password));
    const QString masked = internalPropertyOf(secret)->displayText();
    QCOMPARE(masked.size(), 3);
    QVERIFY(masked != QLatin1String("abc"));
    QCOMPARE(secret->valueText(), masked);

    QtVariantProperty *size = manager.addProperty(QMetaType::QSize, QStringLiteral("Z"));
    size->setValue(QSize(3, 4));
    QCOMPARE(size->valueText(), internalPropertyOf(size)->valueText());
    QVERIFY(size->valueText().contains(QLatin1Char('3')));
    QtVariantProperty *color = manager.addProperty(QMetaType::QColor, QStringLiteral("C"));
    color->setValue(QColor(Qt::red));
    QCOMPARE(color->valueIcon().pixmap(16).toImage(), internalPropertyOf(color)->valueIcon().pixmap(16).toImage());
}

void TstVariantPropertyManager::subProperties_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Step>("setup");
    QTest::addColumn<QStringList>("subs");

    const Step nothing = [](QtVariantPropertyManager &, QtVariantProperty *) {};
    const QString Int = QStringLiteral("int");
    const QString Double = QStringLiteral("double");
    const QString Bool = QStringLiteral("bool");
    const QString Enum = QStringLiteral("QtEnumPropertyType");
    auto typed = [](const QStringList &names, const QStringList &types) {
        QStringList out;
        for (int i = 0; i < names.size(); ++i)
            out << names.at(i) + QLatin1Char(':') + types.at(i);
        return out;
    };
    QTest::newRow("size") << int(QMetaType::QSize) << nothing << typed({"Width", "Height"}, {Int, Int});
    QTest::newRow("size-F") << int(QMetaType::QSizeF) << nothing << typed({"Width", "Height"}, {Double, Double});
    QTest::newRow("point") << int(QMetaType::QPoint) << nothing << typed({"X", "Y"}, {Int, Int});
    QTest::newRow("point-F") << int(QMetaType::QPointF) << nothing << typed({"X", "Y"}, {Double, Double});
    QTest::newRow("rect") << int(QMetaType::QRect) << nothing
                          << typed({"X", "Y", "Width", "Height"}, {Int, Int, Int, Int});
    QTest::newRow("rect-F") << int(QMetaType::QRectF) << nothing
                            << typed({"X", "Y", "Width", "Height"}, {Double, Double, Double, Double});
    QTest::newRow("colour") << int(QMetaType::QColor) << nothing
                            << typed({"Red", "Green", "Blue", "Alpha"}, {Int, Int, Int, Int});
    QTest::newRow("locale") << int(QMetaType::QLocale) << nothing << typed({"Language", "Country"}, {Enum, Enum});
    QTest::newRow("size policy")
        << int(QMetaType::QSizePolicy) << nothing
        << typed({"Horizontal Policy", "Vertical Policy", "Horizontal Stretch", "Vertical Stretch"},
                 {Enum, Enum, Int, Int});
    QTest::newRow("font") << int(QMetaType::QFont) << nothing
                          << typed({"Family", "Point Size", "Bold", "Italic", "Underline", "Strikeout", "Kerning"},
                                   {Enum, Int, Bool, Bool, Bool, Bool, Bool});
    QTest::newRow("flag") << QtVariantPropertyManager::flagTypeId()
                          << Step([](QtVariantPropertyManager &, QtVariantProperty *p) {
                                 p->setAttribute(QStringLiteral("flagNames"), QStringList{"a", "b", "c"});
                             })
                          << typed({"a", "b", "c"}, {Bool, Bool, Bool});
    QTest::newRow("flag names replaced")
        << QtVariantPropertyManager::flagTypeId() << Step([](QtVariantPropertyManager &, QtVariantProperty *p) {
               p->setAttribute(QStringLiteral("flagNames"), QStringList{"a", "b", "c"});
               p->setAttribute(QStringLiteral("flagNames"), QStringList{"d", "e"});
           })
        << typed({"d", "e"}, {Bool, Bool});
    QTest::newRow("int has none") << int(QMetaType::Int) << nothing << QStringList();
}

void TstVariantPropertyManager::subProperties()
{
    QFETCH(int, type);
    QFETCH(Step, setup);
    QFETCH(QStringList, subs);

    QtVariantPropertyManager manager;
    QtVariantProperty *p = manager.addProperty(type, QStringLiteral("P"));
    setup(manager, p);
    QCOMPARE(subTypes(p), subs);

    // Each mirrors the internal sub-property in the same place.
    const QList<QtProperty *> internals = internalPropertyOf(p)->subProperties();
    const QList<QtProperty *> mirrors = p->subProperties();
    QCOMPARE(mirrors.size(), internals.size());
    for (int i = 0; i < mirrors.size(); ++i) {
        QCOMPARE(internalPropertyOf(mirrors.at(i)), internals.at(i));
        QCOMPARE(mirrors.at(i)->propertyName(), internals.at(i)->propertyName());
        QCOMPARE(mirrors.at(i)->valueText(), internals.at(i)->valueText());
    }
}

void TstVariantPropertyManager::subPropertyEdits_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("start");
    QTest::addColumn<QString>("sub");
    QTest::addColumn<QVariant>("subValue");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("size width") << int(QMetaType::QSize) << QVariant(QSize(10, 20)) << "Width" << QVariant(30)
                                << QVariant(QSize(30, 20));
    QTest::newRow("rect-F height") << int(QMetaType::QRectF) << QVariant(QRectF(1, 2, 3, 4)) << "Height"
                                   << QVariant(7.5) << QVariant(QRectF(1, 2, 3, 7.5));
    QTest::newRow("colour green") << int(QMetaType::QColor) << QVariant(QColor(1, 2, 3)) << "Green" << QVariant(128)
                                  << QVariant(QColor(1, 128, 3));
    QTest::newRow("font bold") << int(QMetaType::QFont) << QVariant(QFont()) << "Bold" << QVariant(true)
                               << QVariant([] {
                                      QFont f;
                                      f.setBold(true);
                                      return f;
                                  }());
    QTest::newRow("size policy stretch") << int(QMetaType::QSizePolicy) << QVariant(QSizePolicy())
                                         << "Vertical Stretch" << QVariant(3) << QVariant([] {
                                                QSizePolicy policy;
                                                policy.setVerticalStretch(3);
                                                return policy;
                                            }());
}

void TstVariantPropertyManager::subPropertyEdits()
{
    QFETCH(int, type);
    QFETCH(QVariant, start);
    QFETCH(QString, sub);
    QFETCH(QVariant, subValue);
    QFETCH(QVariant, expected);

    QtVariantPropertyManager manager;
    QtVariantProperty *p = manager.addProperty(type, QStringLiteral("P"));
    p->setValue(start);
    auto *child = static_cast<QtVariantProperty *>(subNamed(p, sub));
    QVERIFY(child);
    SignalLog log{&manager};
    child->setValue(subValue);
    QCOMPARE(p->value(), expected);
    QCOMPARE(child->value(), subValue);
    const QStringList entries = withoutValues(log.entries());
    QCOMPARE(entries.count(QStringLiteral("valueChanged(P)")), 1);
    QCOMPARE(entries.count(QStringLiteral("valueChanged(%1)").arg(sub)), 1);
    QCOMPARE(entries.count(QStringLiteral("propertyChanged(P)")), 1);
}

void TstVariantPropertyManager::insertedSubPropertyIsMirroredWithItsTexts()
{
    // Whatever a compound manager hangs below its internal property is mirrored,
    // placed after the sibling it follows, with its texts.
    QtVariantPropertyManager manager;
    QtVariantProperty *p = manager.addProperty(QMetaType::QSize, QStringLiteral("P"));
    QtIntPropertyManager extra;
    QtProperty *depth = extra.addProperty(QStringLiteral("Depth"));
    depth->setToolTip(QStringLiteral("tip"));
    depth->setStatusTip(QStringLiteral("status"));
    depth->setWhatsThis(QStringLiteral("what"));
    QtProperty *internal = internalPropertyOf(p);
    internal->insertSubProperty(depth, internal->subProperties().first());

    QCOMPARE(propertyNames(p->subProperties()), (QStringList{"Width", "Depth", "Height"}));
    QtProperty *mirror = p->subProperties().at(1);
    QCOMPARE(mirror->toolTip(), QStringLiteral("tip"));
    QCOMPARE(mirror->statusTip(), QStringLiteral("status"));
    QCOMPARE(mirror->whatsThis(), QStringLiteral("what"));
    QCOMPARE(internalPropertyOf(mirror), depth);

    // A kind the manager does not mirror leaves nothing behind.
    QtStringPropertyManager texts;
    internal->addSubProperty(texts.addProperty(QStringLiteral("Text")));
    QCOMPARE(p->subProperties().size(), 3);

    // Taken away again, the mirror goes.
    internal->removeSubProperty(depth);
    QCOMPARE(propertyNames(p->subProperties()), (QStringList{"Width", "Height"}));
    QCOMPARE(extra.properties().size(), 1);
}

void TstVariantPropertyManager::deletingVariantDeletesInternal()
{
    QtVariantPropertyManager manager;
    QtVariantProperty *p = manager.addProperty(QMetaType::QFont, QStringLiteral("P"));
    QtVariantProperty *keep = manager.addProperty(QMetaType::Int, QStringLiteral("K"));
    QCOMPARE(manager.properties().size(), 9);
    auto *fonts = typedManager(manager, "QtFontPropertyManager");
    auto *inner = static_cast<QtFontPropertyManager *>(fonts);
    SignalLog log{&manager};
    delete p;
    QVERIFY(fonts->properties().isEmpty());
    QVERIFY(inner->subIntPropertyManager()->properties().isEmpty());
    QVERIFY(inner->subBoolPropertyManager()->properties().isEmpty());
    QCOMPARE(manager.properties(), QSet<QtProperty *>{keep});
    // The seven mirrors and the font itself, each once.
    QCOMPARE(countOf(log.entries(), QStringLiteral("propertyDestroyed(")), 8);
    QCOMPARE(countOf(log.entries(), QStringLiteral("propertyDestroyed(P)")), 1);
    QCOMPARE(internalPropertyOf(keep), *typedManager(manager, "QtIntPropertyManager")->properties().cbegin());
}

void TstVariantPropertyManager::deletingInternalSubDeletesVariantOnce()
{
    QtVariantPropertyManager manager;
    QtVariantProperty *p = manager.addProperty(QMetaType::QSize, QStringLiteral("P"));
    p->setValue(QSize(5, 6));
    QtProperty *internalWidth = internalPropertyOf(subNamed(p, QStringLiteral("Width")));
    SignalLog log{&manager};
    delete internalWidth;
    QCOMPARE(log.entries(), (QStringList{"propertyRemoved(Width,P)", "propertyDestroyed(Width)"}));
    QCOMPARE(propertyNames(p->subProperties()), QStringList{"Height"});
    QCOMPARE(manager.properties().size(), 2);

    // The rest still works, and goes cleanly.
    static_cast<QtVariantProperty *>(subNamed(p, QStringLiteral("Height")))->setValue(9);
    QCOMPARE(p->value(), QVariant(QSize(5, 9)));
    delete p;
    QVERIFY(manager.properties().isEmpty());
}

void TstVariantPropertyManager::deletedByAHandlerIsAnnouncedNoFurther_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<Step>("change");
    QTest::addColumn<QString>("first");
    QTest::newRow("integer value") << int(QMetaType::Int)
                                   << Step([](QtVariantPropertyManager &, QtVariantProperty *p) { p->setValue(5); })
                                   << "valueChanged";
    QTest::newRow("size value, after its parts") << int(QMetaType::QSize) << Step([](auto &, QtVariantProperty *p) {
        p->setValue(QSize(3, 4));
    }) << "valueChanged";
    QTest::newRow("integer range") << int(QMetaType::Int) << Step([](auto &, QtVariantProperty *p) {
        p->setAttribute(QStringLiteral("minimum"), 10);
    }) << "attributeChanged";
}

// A handler of the first signal about a change deletes the property: nothing more
// is said of it.
void TstVariantPropertyManager::deletedByAHandlerIsAnnouncedNoFurther()
{
    QFETCH(int, type);
    QFETCH(Step, change);
    QFETCH(QString, first);
    QtVariantPropertyManager manager;
    QtVariantProperty *p = manager.addProperty(type, QStringLiteral("P"));
    NamingSignals named(&manager, p);
    bool deleted = false;
    const auto deleteIt = [&](QtProperty *about) {
        if (about == p && !std::exchange(deleted, true))
            delete p;
    };
    if (first == QLatin1String("valueChanged"))
        connect(&manager, &QtVariantPropertyManager::valueChanged, this, deleteIt);
    else
        connect(&manager, &QtVariantPropertyManager::attributeChanged, this, deleteIt);

    change(manager, p);
    QVERIFY(deleted);
    QCOMPARE(named.seen, (QStringList{first, QStringLiteral("propertyDestroyed")}));
    QVERIFY(manager.properties().isEmpty());
}

void TstVariantPropertyManager::destroyingManagerFreesAll()
{
    auto manager = std::make_unique<QtVariantPropertyManager>();
    QList<const QtProperty *> variants;
    const auto typed = manager->findChildren<QtAbstractPropertyManager *>();
    SignalLog log;
    for (QtAbstractPropertyManager *m : typed)
        log.attach(m);
    for (int type : {int(QMetaType::Int), int(QMetaType::QFont), int(QMetaType::QRect),
                     QtVariantPropertyManager::flagTypeId(), QtVariantPropertyManager::groupTypeId()}) {
        QtVariantProperty *p = manager->addProperty(type, QStringLiteral("P"));
        if (type == QtVariantPropertyManager::flagTypeId())
            p->setAttribute(QStringLiteral("flagNames"), QStringList{"a", "b"});
        variants << p;
    }
    const int internals = manager->properties().size();
    log.clear();
    // The typed managers still live while each internal property goes.
    manager.reset();
    QCOMPARE(countOf(log.entries(), QStringLiteral("propertyDestroyed(")), internals);
    for (const QtProperty *p : qAsConst(variants))
        QCOMPARE(internalPropertyOf(p), nullptr);
}

void TstVariantPropertyManager::managersShareTheInternalMap()
{
    QtVariantPropertyManager first;
    QtVariantPropertyManager second;
    QtVariantProperty *a = first.addProperty(QMetaType::Int, QStringLiteral("A"));
    QtVariantProperty *b = second.addProperty(QMetaType::Int, QStringLiteral("B"));
    QVERIFY(internalPropertyOf(a));
    QVERIFY(internalPropertyOf(b));
    QVERIFY(internalPropertyOf(a) != internalPropertyOf(b));
    // A property of the other manager is none of this one's.
    second.setValue(a, 4);
    QCOMPARE(a->value(), QVariant(0));
    QCOMPARE(second.propertyType(a), 0);
    b->setValue(4);
    QCOMPARE(b->value(), QVariant(4));
}

void TstVariantPropertyManager::compoundUndoneWhileItsPartsAreMade_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("signal");
    QTest::addColumn<QString>("undo");
    const QList<QPair<const char *, int>> types{
        {"point", QMetaType::QPoint},   {"size", QMetaType::QSize},     {"rect", QMetaType::QRect},
        {"font", QMetaType::QFont},     {"colour", QMetaType::QColor},  {"locale", QMetaType::QLocale},
        {"size policy", QMetaType::QSizePolicy}};
    for (const auto &type : types) {
        for (const char *signal : {"propertyInserted", "propertyChanged"}) {
            for (const char *undo : {"clear", "compound", "part"})
                QTest::addRow("%s, %s, %s", type.first, signal, undo) << type.second << signal << undo;
        }
    }
}

// While addProperty of a compound value makes its parts, a handler of what the
// first part announces (its name, or its insertion under the compound) clears the
// manager, deletes the compound or deletes the part. addProperty returns the
// compound only while it lives; nothing freed is read and nothing made leaks.
void TstVariantPropertyManager::compoundUndoneWhileItsPartsAreMade()
{
    QFETCH(int, type);
    QFETCH(QString, signal);
    QFETCH(QString, undo);
    QtVariantPropertyManager manager;
    QtProperty *compound = nullptr;
    QtProperty *part = nullptr;
    QString partName;
    // The compound's own name comes first, then what its first part says.
    const auto act = [&](QtProperty *property, QtProperty *parent) {
        if (!compound) {
            compound = parent ? parent : property;
            if (!parent)
                return;
        }
        if (part)
            return;
        part = property;
        partName = part->propertyName();
        if (undo == QLatin1String("clear"))
            manager.clear();
        else if (undo == QLatin1String("compound"))
            delete compound;
        else
            delete part;
    };
    if (signal == QLatin1String("propertyInserted"))
        connect(&manager, &QtAbstractPropertyManager::propertyInserted, this, act);
    else
        connect(&manager, &QtAbstractPropertyManager::propertyChanged, this,
                [&](QtProperty *property) { act(property, nullptr); });

    QtVariantProperty *made = manager.addProperty(type, QStringLiteral("P"));
    QVERIFY(part);
    if (undo == QLatin1String("part")) {
        QVERIFY(made);
        QCOMPARE(made, compound);
        // By name: a later part may be made where the deleted one was.
        QVERIFY(!propertyNames(made->subProperties()).contains(partName));
        QCOMPARE(made->subProperties().size(), internalPropertyOf(made)->subProperties().size());
        QCOMPARE(manager.properties().size(), made->subProperties().size() + 1);
    } else {
        QCOMPARE(made, nullptr);
        QVERIFY(manager.properties().isEmpty());
    }
    checkPairs(manager);
}

void TstVariantPropertyManager::partsDestroyedDuringAClear_data()
{
    QTest::addColumn<QString>("deleted");
    QTest::newRow("the point") << "point";
    QTest::newRow("the point's group") << "group";
    QTest::newRow("the manager cleared again") << "clear";
}

// A point in a group, in another group. As the manager's clear destroys the
// point's X, a handler deletes the point or its group, or clears the manager
// again: each property is deleted once.
void TstVariantPropertyManager::partsDestroyedDuringAClear()
{
    QFETCH(QString, deleted);
    QtVariantPropertyManager manager;
    QtVariantProperty *outer = manager.addProperty(QtVariantPropertyManager::groupTypeId(), QStringLiteral("O"));
    QtVariantProperty *group = manager.addProperty(QtVariantPropertyManager::groupTypeId(), QStringLiteral("G"));
    QtVariantProperty *point = manager.addProperty(QMetaType::QPoint, QStringLiteral("P"));
    outer->addSubProperty(group);
    group->addSubProperty(point);
    QtProperty *x = subNamed(point, QStringLiteral("X"));
    QtProperty *victim = deleted == QLatin1String("point") ? point : deleted == QLatin1String("group") ? group : nullptr;
    int destroyed = 0;
    bool ran = false;
    connect(&manager, &QtAbstractPropertyManager::propertyDestroyed, this, [&](QtProperty *property) {
        ++destroyed;
        if (property != x || std::exchange(ran, true))
            return;
        if (victim)
            delete victim;
        else
            manager.clear();
    });

    manager.clear();
    QVERIFY(ran);
    QCOMPARE(destroyed, 5);
    QVERIFY(manager.properties().isEmpty());
    QCOMPARE(internalCount(manager), 0);
}

QTEST_MAIN(TstVariantPropertyManager)
#include "tst_variantpropertymanager.moc"
