// Runs a fuzz target over the files and every file of the folders named on the command
// line, the way libFuzzer runs one input; a finding aborts the process, so a zero exit
// means all passed.
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    QStringList paths;
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        if (QFileInfo(path).isFile()) {
            paths.append(path);
            continue;
        }
        // A target without findings has no regressions folder yet.
        QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            paths.append(it.next());
    }
    int inputs = 0;
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return 1;
        }
        const QByteArray bytes = file.readAll();
        std::fprintf(stderr, "%s\n", qPrintable(path));
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
        ++inputs;
    }
    if (inputs == 0) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    std::fprintf(stderr, "%d inputs replayed\n", inputs);
    return 0;
}
