#include "qirademofiller.h"

#include "qirapasswordhash.h"
#include "qirasqlstore.h"
#include "zxbase.h"

#include <QtEndian>

namespace {

quint32 crc32(const QByteArray &data)
{
    static quint32 table[256];
    static bool ready = false;
    if (!ready) {
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        ready = true;
    }
    quint32 c = 0xffffffffu;
    for (char byte : data)
        c = table[(c ^ quint8(byte)) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

void appendBE32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

void appendLE(QByteArray &out, quint32 value, int size)
{
    for (int i = 0; i < size; ++i)
        out.append(char((value >> (8 * i)) & 0xff));
}

void pngChunk(QByteArray &out, const char *type, const QByteArray &data)
{
    appendBE32(out, quint32(data.size()));
    QByteArray body(type, 4);
    body += data;
    out += body;
    appendBE32(out, crc32(body));
}

// A soft colour pattern that differs by seed.
void pixel(int x, int y, int w, int h, quint32 seed, quint8 &r, quint8 &g, quint8 &b)
{
    r = quint8((x * 255 / qMax(1, w - 1) + seed * 37) & 0xff);
    g = quint8((y * 255 / qMax(1, h - 1) + seed * 91) & 0xff);
    b = quint8(((x + y) * 4 + seed * 53) & 0xff);
}

struct DemoFile
{
    QString branch;
    QString name;
    QString ext;
    QByteArray bytes;
    QString comment;
    QString docn;
    double sum = 0;
};

} // namespace

QByteArray TQiraDemoFiller::png(int width, int height, quint32 seed)
{
    QByteArray raw;
    raw.reserve((width * 3 + 1) * height);
    for (int y = 0; y < height; ++y) {
        raw.append('\0'); // no filter
        for (int x = 0; x < width; ++x) {
            quint8 r, g, b;
            pixel(x, y, width, height, seed, r, g, b);
            raw.append(char(r));
            raw.append(char(g));
            raw.append(char(b));
        }
    }
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    appendBE32(header, quint32(width));
    appendBE32(header, quint32(height));
    header.append(char(8)); // bit depth
    header.append(char(2)); // truecolour
    header.append(3, '\0'); // compression, filter, interlace
    pngChunk(out, "IHDR", header);
    // qCompress gives a zlib stream after a four-byte length of its own.
    pngChunk(out, "IDAT", qCompress(raw, 9).mid(4));
    pngChunk(out, "IEND", {});
    return out;
}

QByteArray TQiraDemoFiller::bmp(int width, int height, quint32 seed)
{
    const int rowSize = (width * 3 + 3) / 4 * 4;
    const quint32 imageSize = quint32(rowSize * height);
    QByteArray out("BM", 2);
    appendLE(out, 54 + imageSize, 4);
    appendLE(out, 0, 4);
    appendLE(out, 54, 4);
    appendLE(out, 40, 4);
    appendLE(out, quint32(width), 4);
    appendLE(out, quint32(height), 4);
    appendLE(out, 1, 2);
    appendLE(out, 24, 2);
    appendLE(out, 0, 4);
    appendLE(out, imageSize, 4);
    appendLE(out, 2835, 4);
    appendLE(out, 2835, 4);
    appendLE(out, 0, 4);
    appendLE(out, 0, 4);
    for (int y = height - 1; y >= 0; --y) {
        QByteArray row;
        for (int x = 0; x < width; ++x) {
            quint8 r, g, b;
            pixel(x, y, width, height, seed, r, g, b);
            row.append(char(b));
            row.append(char(g));
            row.append(char(r));
        }
        row.append(rowSize - row.size(), '\0');
        out += row;
    }
    return out;
}

QByteArray TQiraDemoFiller::pdf(const QString &title, const QStringList &lines)
{
    const auto escape = [](const QString &text) {
        QByteArray latin = text.toLatin1();
        latin.replace('\\', "\\\\");
        latin.replace('(', "\\(");
        latin.replace(')', "\\)");
        return latin;
    };
    QByteArray content = "BT /F1 18 Tf 72 770 Td (" + escape(title) + ") Tj ET\n";
    int y = 740;
    for (const QString &line : lines) {
        content += "BT /F1 12 Tf 72 " + QByteArray::number(y) + " Td (" + escape(line) + ") Tj ET\n";
        y -= 18;
    }
    const QList<QByteArray> objects{
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R"
        " /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    QByteArray out("%PDF-1.4\n");
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets.append(out.size());
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects.at(i) + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n"
           + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

QList<TQiraDemoFiller::Account> TQiraDemoFiller::fill(TQiraSqlStore &store)
{
    if (!store.isEmpty())
        return {};
    const QList<Account> accounts{{QStringLiteral("admin"), QStringLiteral("admin"), QStringLiteral("1")},
                                  {QStringLiteral("user"), QStringLiteral("user"), QStringLiteral("2")}};
    store.bootstrapAdministrator(accounts.at(0).login, TextMD5(accounts.at(0).password));
    const TQiraSession admin = store.signIn(accounts.at(0).login, TextMD5(accounts.at(0).password));

    TQiraRowChange user;
    user.state = TQiraRowChange::State::Inserted;
    user.values = {{QStringLiteral("user_id"), NewID()},
                   {QStringLiteral("login"), accounts.at(1).login},
                   {QStringLiteral("Roleid"), accounts.at(1).role},
                   {QStringLiteral("active"), 1},
                   {QStringLiteral("password"), TextMD5(accounts.at(1).password)},
                   {QStringLiteral("name"), QStringLiteral("Иванов")},
                   {QStringLiteral("firstname"), QStringLiteral("Иван")},
                   {QStringLiteral("middlename"), QStringLiteral("Иванович")},
                   {QStringLiteral("jobtitle"), QStringLiteral("Инженер")}};
    store.applyUserChanges(admin, {user});

    // name -> identifier, parents before children
    const QList<QPair<QString, QString>> tree{
        {QStringLiteral("Договоры"), QString()},
        {QStringLiteral("2024 год"), QStringLiteral("Договоры")},
        {QStringLiteral("2025 год"), QStringLiteral("Договоры")},
        {QStringLiteral("Поставщики"), QStringLiteral("2025 год")},
        {QStringLiteral("Бухгалтерия"), QString()},
        {QStringLiteral("Счета"), QStringLiteral("Бухгалтерия")},
        {QStringLiteral("Акты сверки"), QStringLiteral("Бухгалтерия")},
        {QStringLiteral("Проекты"), QString()},
        {QStringLiteral("Строительство склада"), QStringLiteral("Проекты")},
        {QStringLiteral("Чертежи"), QStringLiteral("Строительство склада")},
        {QStringLiteral("Фотографии"), QStringLiteral("Строительство склада")},
        {QStringLiteral("Кадры"), QString()},
        {QStringLiteral("Общие документы"), QString()},
    };
    QHash<QString, QString> ids;
    for (const auto &[name, parent] : tree) {
        const QString id = NewID();
        store.insertBranch(admin, id, parent.isEmpty() ? QString() : ids.value(parent), name);
        ids.insert(name, id);
    }

    // The user works on the project; personnel files are not for him.
    const auto grant = [&](const QString &branch, const QString &login, const QString &role, bool w, bool rfile) {
        TQiraRowChange g;
        g.state = TQiraRowChange::State::Inserted;
        g.values = {{QStringLiteral("tree_rightid"), NewID()}, {QStringLiteral("TreeID"), ids.value(branch)},
                    {QStringLiteral("username"), login},      {QStringLiteral("roleid"), role},
                    {QStringLiteral("rtree"), 1},              {QStringLiteral("wtree"), w ? 1 : 0},
                    {QStringLiteral("rfile"), rfile ? 1 : 0},  {QStringLiteral("wfile"), w ? 1 : 0},
                    {QStringLiteral("admtree"), 0},            {QStringLiteral("rmyfile"), 0}};
        store.applyGrantChanges(admin, {g});
    };
    grant(QStringLiteral("Проекты"), accounts.at(1).login, QString(), true, true);
    grant(QStringLiteral("Общие документы"), QString(), QStringLiteral("2"), true, true);
    grant(QStringLiteral("Кадры"), QString(), QStringLiteral("2"), false, false);

    QList<DemoFile> files;
    const auto text = [](const QString &body) { return body.toUtf8(); };
    files << DemoFile{QStringLiteral("2024 год"), QStringLiteral("Договор поставки №12"), QStringLiteral("pdf"),
                      pdf(QStringLiteral("Supply contract 12"), {QStringLiteral("Parties: Alpha LLC and Beta LLC"),
                                                                 QStringLiteral("Subject: supply of building materials"),
                                                                 QStringLiteral("Total: 1 250 000.00")}),
                      QStringLiteral("Подписан обеими сторонами"), QStringLiteral("12"), 1250000};
    files << DemoFile{QStringLiteral("2024 год"), QStringLiteral("Договор аренды"), QStringLiteral("pdf"),
                      pdf(QStringLiteral("Lease agreement"), {QStringLiteral("Office, 2nd floor, 120 sq. m")}),
                      QStringLiteral("Аренда офиса"), QStringLiteral("7-А"), 96000};
    files << DemoFile{QStringLiteral("2024 год"), QStringLiteral("Дополнительное соглашение"), QStringLiteral("txt"),
                      text(QStringLiteral("Дополнительное соглашение к договору аренды.\nСрок продлен до 31.12.2025.\n")),
                      QString(), QStringLiteral("7-А/1"), 0};
    files << DemoFile{QStringLiteral("2025 год"), QStringLiteral("Договор подряда"), QStringLiteral("pdf"),
                      pdf(QStringLiteral("Contract work agreement"), {QStringLiteral("Warehouse construction, stage 1")}),
                      QStringLiteral("Склад, первый этап"), QStringLiteral("25/03"), 4800000.5};
    files << DemoFile{QStringLiteral("2025 год"), QStringLiteral("Реестр договоров"), QStringLiteral("csv"),
                      text(QStringLiteral("номер;контрагент;сумма\n12;ООО Альфа;1250000\n25/03;ООО Бета;4800000,50\n")),
                      QString(), QString(), 0};
    for (int i = 1; i <= 6; ++i)
        files << DemoFile{QStringLiteral("Поставщики"), QStringLiteral("Карточка поставщика %1").arg(i), QStringLiteral("txt"),
                          text(QStringLiteral("Поставщик №%1\nИНН 77%2\nКонтакт: отдел снабжения\n").arg(i).arg(100000 + i * 37)),
                          QStringLiteral("Проверен"), QStringLiteral("П-%1").arg(i), 0};
    for (int i = 1; i <= 6; ++i)
        files << DemoFile{QStringLiteral("Счета"), QStringLiteral("Счет %1 от поставщика").arg(100 + i), QStringLiteral("pdf"),
                          pdf(QStringLiteral("Invoice %1").arg(100 + i), {QStringLiteral("Amount due: %1.00").arg(i * 15000)}),
                          i % 2 ? QStringLiteral("Оплачен") : QStringLiteral("Ожидает оплаты"),
                          QString::number(100 + i), i * 15000.0};
    files << DemoFile{QStringLiteral("Акты сверки"), QStringLiteral("Акт сверки I квартал"), QStringLiteral("txt"),
                      text(QStringLiteral("Акт сверки взаимных расчетов за I квартал.\nРасхождений нет.\n")),
                      QString(), QStringLiteral("АС-1"), 0};
    files << DemoFile{QStringLiteral("Акты сверки"), QStringLiteral("Акт сверки II квартал"), QStringLiteral("txt"),
                      text(QStringLiteral("Акт сверки взаимных расчетов за II квартал.\nРасхождение 1 200 руб.\n")),
                      QStringLiteral("Есть расхождение"), QStringLiteral("АС-2"), 1200};
    files << DemoFile{QStringLiteral("Строительство склада"), QStringLiteral("Техническое задание"), QStringLiteral("pdf"),
                      pdf(QStringLiteral("Terms of reference"), {QStringLiteral("Warehouse 40 x 60 m"),
                                                                      QStringLiteral("Height 12 m"),
                                                                      QStringLiteral("Fire safety class F5.1")}),
                      QString(), QStringLiteral("ТЗ-1"), 0};
    files << DemoFile{QStringLiteral("Строительство склада"), QStringLiteral("План работ"), QStringLiteral("md"),
                      text(QStringLiteral("# План работ\n\n1. Фундамент\n2. Каркас\n3. Кровля\n4. Отделка\n")),
                      QStringLiteral("Черновик"), QString(), 0};
    for (int i = 1; i <= 5; ++i)
        files << DemoFile{QStringLiteral("Чертежи"), QStringLiteral("Схема %1").arg(i), QStringLiteral("png"),
                          png(96 + i * 16, 64 + i * 8, quint32(i)), QStringLiteral("Лист %1").arg(i),
                          QStringLiteral("Ч-%1").arg(i), 0};
    for (int i = 1; i <= 5; ++i)
        files << DemoFile{QStringLiteral("Фотографии"), QStringLiteral("Фото объекта %1").arg(i), QStringLiteral("bmp"),
                          bmp(80 + i * 10, 60 + i * 6, quint32(10 + i)), QString(), QString(), 0};
    files << DemoFile{QStringLiteral("Кадры"), QStringLiteral("Штатное расписание"), QStringLiteral("txt"),
                      text(QStringLiteral("Штатное расписание на 2025 год.\nДиректор — 1\nИнженер — 4\n")),
                      QStringLiteral("Конфиденциально"), QString(), 0};
    files << DemoFile{QStringLiteral("Кадры"), QStringLiteral("Приказ о приеме"), QStringLiteral("pdf"),
                      pdf(QStringLiteral("Order of employment"), {QStringLiteral("Confidential")}), QString(),
                      QStringLiteral("К-17"), 0};
    files << DemoFile{QStringLiteral("Общие документы"), QStringLiteral("Устав"), QStringLiteral("pdf"),
                      pdf(QStringLiteral("Charter"), {QStringLiteral("Approved by the general meeting")}), QString(),
                      QString(), 0};
    files << DemoFile{QStringLiteral("Общие документы"), QStringLiteral("Телефонный справочник"), QStringLiteral("txt"),
                      text(QStringLiteral("Приемная: 100\nБухгалтерия: 120\nСнабжение: 130\n")), QString(), QString(), 0};
    files << DemoFile{QStringLiteral("Общие документы"), QStringLiteral("Логотип"), QStringLiteral("png"),
                      png(128, 128, 99), QStringLiteral("Для писем"), QString(), 0};
    files << DemoFile{QStringLiteral("Общие документы"), QStringLiteral("Прочти меня"), QStringLiteral("txt"),
                      text(QStringLiteral("Это демонстрационное хранилище. Пароли admin/admin и user/user только для демонстрации.\n")),
                      QString(), QString(), 0};

    int index = 0;
    for (const DemoFile &f : files) {
        TQiraRowChange row;
        row.state = TQiraRowChange::State::Inserted;
        const QString fileId = NewID();
        row.values = {{QStringLiteral("fileid"), fileId},
                      {QStringLiteral("treeid"), ids.value(f.branch)},
                      {QStringLiteral("filename"), f.name},
                      {QStringLiteral("fileext"), f.ext},
                      {QStringLiteral("del"), 0}};
        if (!f.comment.isEmpty())
            row.values.insert(QStringLiteral("comment_file"), f.comment);
        if (!f.docn.isEmpty()) {
            row.values.insert(QStringLiteral("docn"), f.docn);
            row.values.insert(QStringLiteral("docdate"), QDateTime(QDate(2025, 1 + index % 12, 1 + index % 27), QTime(0, 0)));
        }
        if (f.sum != 0)
            row.values.insert(QStringLiteral("sumdoc"), f.sum);
        store.applyFileChanges(admin, {row});
        store.storeVersion(admin, fileId, f.bytes);
        ++index;
    }
    return accounts;
}
