// The ways another program holds a serial line, as rows of a data-driven test
// with the column "hold" (LineHolder::Hold flags).
#pragma once

#include "lineholder.h"

#include <QTest>

inline void addHeldLineRows()
{
    QTest::addColumn<int>("hold");
    QTest::newRow("exclusive mark") << int(LineHolder::Mark);
    QTest::newRow("advisory lock") << int(LineHolder::Lock);
    QTest::newRow("mark and lock") << int(LineHolder::Mark | LineHolder::Lock);
}
