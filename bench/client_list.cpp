// The time from selecting a branch of 100,000 files in the main window's tree to its
// first page shown in the file grid, against the real server in this process on a
// loopback port. Prints figures; asserts nothing.
//
//   bench_client_list [--files N] [--runs N]
#include "dmqiraclientdatas.h"
#include "fmqiraclientmains.h"
#include "frmzxtrees.h"
#include "qirafilegrid.h"
#include "qiraserverhost.h"
#include "qirasqlstore.h"
#include "zxapplication.h"
#include "zxbase.h"
#include "zxdataset.h"
#include "zxinifile.h"
#include "zxroot.h"
#include "zxtreemodel.h"
#include "zxtreeview.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTimer>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

void say(const QString &text)
{
    std::fputs(qPrintable(text + u'\n'), stdout);
    std::fflush(stdout);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

QString millis(const QList<double> &values)
{
    QStringList parts;
    for (double value : values)
        parts.append(QString::number(value, 'f', 1));
    return parts.join(QStringLiteral(", ")) + QStringLiteral(" ms");
}

QModelIndex topNode(TfrmZxTrees &tree, const QString &id)
{
    for (int row = 0; row < tree.Model->rowCount(); ++row) {
        const QModelIndex index = tree.Model->index(row, 0);
        if (const ItemRec *rec = tree.Rec(index); rec && rec->Id == id)
            return index;
    }
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TZxApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto option = [&args](const QString &name, int fallback) {
        const qsizetype at = args.indexOf(name);
        return at >= 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : fallback;
    };
    const int files = option(QStringLiteral("--files"), 100000);
    const int repeat = qMax(1, option(QStringLiteral("--runs"), 5));
    SetTerminateHandler([] {});

    QTemporaryDir work;
    TQiraStoreOptions storeOptions;
    storeOptions.passwordIterations = 10;
    auto store = TQiraSqlStore::openSqlite(work.filePath(QStringLiteral("data")), storeOptions);
    store->bootstrapAdministrator(QStringLiteral("admin"), TextMD5(QStringLiteral("admin")));
    const TQiraSession admin = store->signIn(QStringLiteral("admin"), TextMD5(QStringLiteral("admin")));
    const QString big = NewID();
    const QString small = NewID();
    store->insertBranch(admin, big, QString(), QStringLiteral("Большая ветвь"));
    store->insertBranch(admin, small, QString(), QStringLiteral("Малая ветвь"));
    QElapsedTimer fillClock;
    fillClock.start();
    const auto addFiles = [&store, &admin](const QString &branch, int count) {
        constexpr int Batch = 5000;
        for (int first = 0; first < count; first += Batch) {
            QList<TQiraRowChange> rows;
            for (int i = first; i < qMin(count, first + Batch); ++i) {
                TQiraRowChange row;
                row.state = TQiraRowChange::State::Inserted;
                // names in scattered order, so that the sort has work to do
                const int scattered = int((quint64(i) * 7919u) % quint64(count));
                row.values = {{QStringLiteral("fileid"), NewID()},
                              {QStringLiteral("treeid"), branch},
                              {QStringLiteral("filename"), QStringLiteral("Документ %1").arg(scattered, 6, 10, QChar(u'0'))},
                              {QStringLiteral("fileext"), QStringLiteral("pdf")},
                              {QStringLiteral("comment_file"), QStringLiteral("Примечание к документу %1").arg(i)},
                              {QStringLiteral("docn"), QString::number(i)},
                              {QStringLiteral("sumdoc"), double(i % 1000) * 1.5},
                              {QStringLiteral("del"), 0}};
                rows.append(row);
            }
            store->applyFileChanges(admin, rows);
        }
    };
    addFiles(big, files);
    addFiles(small, 20);
    say(QStringLiteral("Store filled: %1 files in one branch in %2 s").arg(files).arg(fillClock.elapsed() / 1000.0, 0, 'f', 1));

    TZxServerOptions serverOptions;
    serverOptions.Address = QHostAddress::LocalHost;
    serverOptions.TcpPort = 0;
    serverOptions.HttpPort = -1;
    TQiraServerHost host(*store, serverOptions);
    host.Start();

    SetSettingsFilePath(work.filePath(QStringLiteral("client.ini")));
    WriteSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmQiraClientMain"),
                       QStringLiteral("{\"CliSettings\":{\"Server\":\"127.0.0.1\",\"Port\":\"%1\",\"Protocol\":\"TCP\"}}")
                           .arg(host.TcpPort()));
    WriteSettingsEntry(QStringLiteral("ConnectionSettings"), QStringLiteral("TfmZxLogins"),
                       QStringLiteral("{\"Auth\":{\"SaveAuth\":\"1\",\"Login\":\"admin\",\"Password\":\"admin\"}}"));
    Tzxroot root;
    root.Init();
    auto *window = new TfmQiraClientMain;
    window->resize(1200, 800);
    window->show();
    QElapsedTimer wait;
    wait.start();
    while (window->frmZxTrees->Model->rowCount() < 2 && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const QModelIndex bigNode = topNode(*window->frmZxTrees, big);
    const QModelIndex smallNode = topNode(*window->frmZxTrees, small);
    if (!bigNode.isValid() || !smallNode.isValid()) {
        say(QStringLiteral("the tree did not show the branches"));
        return 1;
    }

    const auto select = [&](const QModelIndex &node, double &fetchMs) {
        QElapsedTimer clock;
        clock.start();
        // the user's click: the tree's selection fetches the first page at once
        window->frmZxTrees->TreeView->setCurrentIndex(node);
        fetchMs = clock.nsecsElapsed() / 1e6;
        window->grFiles->viewport()->repaint();
        window->grFiles->horizontalHeader()->viewport()->repaint();
        return clock.nsecsElapsed() / 1e6;
    };
    for (bool preview : {false, true}) {
        window->cbShowPreview->setChecked(preview);
        while (window->tmGetTable->isActive())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QList<double> shown;
        QList<double> fetched;
        for (int run = 0; run < repeat; ++run) {
            double ignored = 0;
            select(smallNode, ignored);
            double fetchMs = 0;
            shown.append(select(bigNode, fetchMs));
            fetched.append(fetchMs);
        }
        const int rows = window->dmQiraClientDatas->iqFiles->RecordCount();
        say(QStringLiteral("Branch of %1 files, first page of %2 rows%3:").arg(files).arg(rows).arg(preview ? QStringLiteral(" (previews asked for)") : QString()));
        say(QStringLiteral("  selection to page shown: median %1 ms (%2)").arg(median(shown), 0, 'f', 1).arg(millis(shown)));
        say(QStringLiteral("  of which the fetch:      median %1 ms (%2)").arg(median(fetched), 0, 'f', 1).arg(millis(fetched)));
    }
    delete window;
    host.Stop();
    return 0;
}
