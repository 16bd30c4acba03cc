// The files a user hands the tool, through the readers the tool calls: the
// first byte chooses one, the rest is the file.
//   0 "datatypes.json"  the types are read, then every field of every type is
//                       read from and written back into a value of its size;
//   1 "tree.json"       the pages are built from it (no forms: each one fails);
//   2 a form's rule text, read and evaluated by a parameter controller;
//   3 "Controllers.xml";
//   4 the JSON import file, applied to a few page parameters.
// Readers that build widgets run in an off-screen application.
#include "app/devicelist.h"
#include "app/paramserializer.h"
#include "pages/datatypes.h"
#include "pages/pagebuilder.h"
#include "pages/singleparamuicontroller.h"
#include "pages/stdependence.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <cstdlib>
#include <memory>

namespace {

QTemporaryDir* scratch = nullptr;
// The tree and the stack the pages go into, kept for the whole run.
QTreeWidget* treeWidget = nullptr;
QStackedWidget* pages = nullptr;

bool writeScratch(const QString& name, const QByteArray& content)
{
    QFile file(scratch->filePath(name));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

QSharedPointer<ParamDataType> controlType()
{
    auto type = QSharedPointer<ParamDataType>::create(QStringLiteral("Ctl"), 16, 0x07);
    const struct {
        const char* name;
        int type;
        int start;
        int end;
        int size;
    } fields[] = {{"mode", FieldType::UInt8, 0, 7, 0},     {"run", FieldType::Bit, 8, 8, 0},
                  {"speed", FieldType::Int16, 16, 31, 0}, {"gain", FieldType::Real32, 32, 63, 0},
                  {"key", FieldType::Hex, 64, 79, 2},     {"name", FieldType::String, 80, 127, 6}};
    for (const auto& f : fields) {
        ParamDataField field;
        field.name = QLatin1String(f.name);
        field.type = f.type;
        field.startbit = f.start;
        field.endbit = f.end;
        field.size = f.size;
        type->setField(field);
    }
    return type;
}

void dataTypes(const QByteArray& json)
{
    DataTypeMap types;
    parseDataTypes(json, types, QStringLiteral("datatypes.json"));
    for (const QSharedPointer<ParamDataType>& type : qAsConst(types)) {
        if (!type)
            std::abort();
        for (const ParamDataField& field : type->fields()) {
            QByteArray value(type->size(), char(0xA5));
            const QVariant read = type->readField(field.name, value);
            valueToText(read, field.type);
            const QByteArray before = value;
            type->writeField(value, read, field.name);
            // Never a byte more or less than the object has.
            if (value.size() != before.size())
                std::abort();
        }
    }
}

void tree(const QByteArray& json)
{
    if (!writeScratch(QStringLiteral("tree.json"), json))
        return;
    PageBuilder builder(treeWidget, pages, nullptr);
    builder.buildCustomUiPages(scratch->path());
    builder.clearCustomUi();
    if (pages->count() != 0 || treeWidget->topLevelItemCount() != 0)
        std::abort();
}

void rules(const QByteArray& text)
{
    const SPCustomParam param = SPCustomParam::create(QStringLiteral("2100"), QStringLiteral("0"),
                                                      QStringLiteral("ctl"), controlType(), false, true);
    param->storeReadValue(QByteArray::fromHex("02017b0000c03f41a1b2446576000000"));
    SingleParamUIController controller(param, parseDependences(QString::fromUtf8(text)));
    controller.slotExecDependentAction(param);
}

void controllers(const QByteArray& xml)
{
    if (writeScratch(QStringLiteral("Controllers.xml"), xml))
        loadControllers(scratch->filePath(QStringLiteral("Controllers.xml")), LogSink());
}

void importFile(const QByteArray& json)
{
    const auto word = QSharedPointer<ParamDataType>::create(QStringLiteral("Word"), 2, 0x06);
    QList<PageParam> params;
    auto add = [&](const char* index, const QSharedPointer<ParamDataType>& type, bool exported, const char* hex) {
        const SPCustomParam p = SPCustomParam::create(QLatin1String(index), QStringLiteral("0"),
                                                      QLatin1String(index), type, false, exported);
        p->storeReadValue(QByteArray::fromHex(hex));
        params.append({p, [] {}});
    };
    add("2100", controlType(), true, "02017b0000c03f41a1b2446576000000");
    add("2101", word, true, "dc05");
    add("2102", word, false, "0000");
    QBuffer buffer;
    buffer.setData(json);
    if (!buffer.open(QIODevice::ReadOnly))
        return;
    ParamSerializer serializer;
    QString reason;
    if (serializer.load(&buffer, &reason))
        serializer.applyToPages(params, &reason);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_pagedata";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv); // lives for the whole run
    treeWidget = new QTreeWidget;
    pages = new QStackedWidget;
    scratch = new QTemporaryDir;
    return scratch->isValid() ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray file(reinterpret_cast<const char*>(data + 1), int(size - 1));
    switch (data[0] % 5) {
    case 0: dataTypes(file); break;
    case 1: tree(file); break;
    case 2: rules(file); break;
    case 3: controllers(file); break;
    default: importFile(file); break;
    }
    return 0;
}
