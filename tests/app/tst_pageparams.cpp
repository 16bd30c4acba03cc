#include "app/filechooser.h"
#include "app/pageparams.h"
#include "app/paramfileservice.h"
#include "pages/pagecontainers.h"
#include "pages/singleparamuicontroller.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {
class AnswerOpen : public FileChooser
{
public:
    explicit AnswerOpen(const QString &path) : m_path(path) {}
    QString saveFileName(const QString &, const QString &, const QString &) override { return QString(); }
    QString openFileName(const QString &, const QString &) override { return m_path; }

private:
    QString m_path;
};
}

// The import reaches the built pages through their parameter controllers.
class TestPageParams : public QObject
{
    Q_OBJECT

private slots:
    void importGoesThroughTheControllers()
    {
        auto param = SPCustomParam::create(QStringLiteral("2000"), QStringLiteral("2"), QStringLiteral("mode"),
                                           QSharedPointer<ParamDataType>::create(QStringLiteral("uint8"), 1, 0x05),
                                           false, true);
        param->setValue(QByteArray::fromHex("07"));
        paramCtlList.push_back(std::make_unique<SingleParamUIController>(param, QList<stDependence>()));
        QSignalSpy marked(paramCtlList.back().get(), &SingleParamUIController::changeEditSelection);
        const QList<PageParam> listed = pageParamsFromControllers();

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("in.json"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"params":[{"index":"2000","subindex":"2","type":5,"value":"0a"}]})");
        file.close();

        ParamFileHooks hooks;
        hooks.pageParams = pageParamsFromControllers;
        ParamFileService service(hooks, std::make_unique<AnswerOpen>(path), dir.path());
        QString last;
        service.importParams(QStringLiteral("Dev"), {}, last);

        QCOMPARE(param->value(), QByteArray::fromHex("0a"));
        QVERIFY(param->edited());
        QCOMPARE(marked.size(), 1);
        QCOMPARE(marked.at(0).at(0).toBool(), true);

        // A list taken before the pages were torn down must not reach a gone
        // controller: its import step no longer marks the record.
        param->setEdited(false);
        paramCtlList.clear();
        QCOMPARE(listed.size(), 1);
        listed.at(0).imported();
        QVERIFY(!param->edited());
    }
};

QTEST_MAIN(TestPageParams)
#include "tst_pageparams.moc"
