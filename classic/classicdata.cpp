#include "classic/classicdata.h"

ClassicPageData& ClassicData::page(ClassicPage which)
{
    switch (which) {
    case ClassicPage::Calibration: return calibration;
    case ClassicPage::Extra: return extra;
    case ClassicPage::Info: return info;
    case ClassicPage::Main: break;
    }
    return main;
}

const ClassicPageData& ClassicData::page(ClassicPage which) const
{
    return const_cast<ClassicData*>(this)->page(which);
}

QString ClassicData::fileName(ClassicPage which)
{
    switch (which) {
    case ClassicPage::Calibration: return QStringLiteral("calibration.xml");
    case ClassicPage::Extra: return QStringLiteral("extra.xml");
    case ClassicPage::Info: return QStringLiteral("info.xml");
    case ClassicPage::Main: break;
    }
    return QStringLiteral("main.xml");
}
