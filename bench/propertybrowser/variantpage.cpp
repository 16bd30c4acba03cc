#include "variantpage.h"

#include "propertybrowser/qttreepropertybrowser.h"

#include <QKeySequence>

namespace {

const QStringList kNames{QStringLiteral("Выкл"), QStringLiteral("Вкл"), QStringLiteral("Авто")};

} // namespace

VariantPage::VariantPage(QtAbstractPropertyBrowser *browser) : m_browser(browser)
{
    browser->setFactoryForManager(&manager, &factory);
    if (auto *tree = qobject_cast<QtTreePropertyBrowser *>(browser))
        tree->setExtraColumns({QStringLiteral("Ед. изм"), QStringLiteral("Описание")});
    m_types = {QMetaType::Int,     QMetaType::Double,    QMetaType::Bool,    QMetaType::QString,
               QMetaType::QDate,   QMetaType::QTime,     QMetaType::QDateTime, QMetaType::QKeySequence,
               QMetaType::QChar,   QMetaType::QLocale,   QMetaType::QPoint,  QMetaType::QPointF,
               QMetaType::QSize,   QMetaType::QSizeF,    QMetaType::QRect,   QMetaType::QRectF,
               QMetaType::QColor,  QtVariantPropertyManager::enumTypeId(), QMetaType::QSizePolicy,
               QMetaType::QFont,   QMetaType::QCursor,   QtVariantPropertyManager::flagTypeId()};
}

QVariant VariantPage::valueFor(int type, int seed) const
{
    const int small = seed % 100;
    switch (type) {
    case QMetaType::Int:
        return seed;
    case QMetaType::Double:
        return seed / 4.0;
    case QMetaType::Bool:
        return seed % 2 == 1;
    case QMetaType::QString:
        return QStringLiteral("текст %1").arg(seed);
    case QMetaType::QDate:
        return QDate(2020, 1, 1).addDays(seed);
    case QMetaType::QTime:
        return QTime(0, 0).addSecs(seed);
    case QMetaType::QDateTime:
        return QDateTime(QDate(2020, 1, 1), QTime(0, 0)).addSecs(seed);
    case QMetaType::QKeySequence:
        return QKeySequence(Qt::CTRL + Qt::Key_A + seed % 26);
    case QMetaType::QChar:
        return QChar(QLatin1Char(char('a' + seed % 26)));
    case QMetaType::QLocale:
        return seed % 2 ? QLocale(QLocale::German, QLocale::Germany) : QLocale(QLocale::French, QLocale::France);
    case QMetaType::QPoint:
        return QPoint(small, -small);
    case QMetaType::QPointF:
        return QPointF(small / 4.0, -small / 4.0);
    case QMetaType::QSize:
        return QSize(small, small + 1);
    case QMetaType::QSizeF:
        return QSizeF(small / 4.0, small / 2.0);
    case QMetaType::QRect:
        return QRect(small, small, 10, 20);
    case QMetaType::QRectF:
        return QRectF(small / 4.0, 1, 10, 20);
    case QMetaType::QColor:
        return QColor(seed % 256, 100, 50);
    case QMetaType::QSizePolicy:
        return QSizePolicy(seed % 2 ? QSizePolicy::Expanding : QSizePolicy::Fixed, QSizePolicy::Preferred);
    case QMetaType::QFont:
        return QFont(QStringLiteral("DejaVu Sans"), 8 + seed % 4);
    case QMetaType::QCursor:
        return QCursor(Qt::CursorShape(seed % 10));
    default:
        // Enumerations and flags.
        return seed % (type == QtVariantPropertyManager::enumTypeId() ? kNames.size() : 8);
    }
}

QtVariantProperty *VariantPage::addValue(int seed, const QString &name, int column)
{
    const int type = m_types.at(seed % m_types.size());
    QtVariantProperty *value = manager.addProperty(type, name);
    if (type == QtVariantPropertyManager::enumTypeId())
        value->setAttribute(QStringLiteral("enumNames"), kNames);
    else if (type == QtVariantPropertyManager::flagTypeId())
        value->setAttribute(QStringLiteral("flagNames"), QStringList{"a", "b", "c"});
    value->setValue(valueFor(type, seed));
    value->setToolTip(QStringLiteral("Подсказка к %1").arg(name));
    value->setColumnTexts({QStringLiteral("ед%1").arg(column % 5), QStringLiteral("Описание %1").arg(name)});
    values.append(value);
    return value;
}

void VariantPage::fill(int groupCount, int valuesPerGroup)
{
    for (int g = 0; g < groupCount; ++g) {
        QtVariantProperty *group =
            manager.addProperty(QtVariantPropertyManager::groupTypeId(), QStringLiteral("Группа %1").arg(g));
        group->setToolTip(QStringLiteral("Группа параметров %1").arg(g));
        for (int i = 0; i < valuesPerGroup; ++i)
            group->addSubProperty(addValue(g * valuesPerGroup + i, QStringLiteral("P%1.%2").arg(g).arg(i), i));
        m_browser->addProperty(group);
    }
}

void VariantPage::fillFlat(int count)
{
    for (int i = 0; i < count; ++i)
        m_browser->addProperty(addValue(i, QStringLiteral("P%1").arg(i), i));
}

void VariantPage::changeEveryValue()
{
    ++m_round;
    for (int i = 0; i < values.size(); ++i) {
        QtVariantProperty *value = values.at(i);
        value->setValue(valueFor(value->propertyType(), i + m_round));
    }
}
