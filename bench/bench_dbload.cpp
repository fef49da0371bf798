// The database loading as a user meets it, measured from outside the process:
// `framewright-cli db FILE --stats` on a synthetic 100,000-solve database
// against a bare Python csv.reader pass over the same file (runs taking
// turns, medians), then the peak memory on hostile shapes against the bound
// of six times the file's size plus 100 MB.
//
//   bench_dbload [--solves N] [--runs K] [--python PATH] [--keep DIR]
//
// Wall-clock times and peak resident sizes come from wait4() on the child.
// Build in release mode for meaningful numbers.

#include "SyntheticDatabase.h"

#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run
{
    double seconds = 0.0;
    double peakMiB = 0.0;
    int status = -1;
};

// Runs `argv` with its output thrown away.
Run runChild(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execv(args[0], args.data());
        std::perror(args[0]);
        _exit(127);
    }
    Run run;
    rusage usage{};
    int status = 0;
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakMiB = double(usage.ru_maxrss) / 1024.0;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray list(const std::vector<double> &values)
{
    QByteArrayList texts;
    for (double v : values)
        texts.append(QByteArray::number(v, 'f', 3));
    return texts.join(' ');
}

}  // namespace

int main(int argc, char *argv[])
{
    int solves = 100000;
    int runs = 5;
    std::string python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    QString keep;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--solves" && i + 1 < argc)
            solves = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--python" && i + 1 < argc)
            python = argv[++i];
        else if (arg == "--keep" && i + 1 < argc)
            keep = QString::fromLocal8Bit(argv[++i]);
        else {
            std::fprintf(stderr, "usage: bench_dbload [--solves N] [--runs K] [--python PATH] [--keep DIR]\n");
            return 2;
        }
    }
    const std::string cli = FRAMEWRIGHT_CLI_PATH;
    QTemporaryDir tempDir;
    const QString dir = keep.isEmpty() ? tempDir.path() : keep;

    const QString database = dir + QStringLiteral("/synthetic.csv");
    const QByteArray csv = SyntheticDatabaseCsv(solves).toUtf8();
    if (!writeFile(database, csv)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(database));
        return 1;
    }
    const std::string script =
        "import csv, sys\n"
        "with open(sys.argv[1], newline='', encoding='utf-8', errors='replace') as f:\n"
        "    n = sum(1 for _ in csv.reader(f))\n"
        "print(n)\n";
    std::printf("database: %d solves, %.1f MB; peer: %s csv.reader\n", solves, double(csv.size()) / 1e6, python.c_str());

    std::vector<double> ours, peer, oursPeak;
    for (int run = 0; run < runs; ++run) {
        const Run a = runChild({cli, "db", database.toStdString(), "--stats"});
        const Run b = runChild({python, "-c", script, database.toStdString()});
        if (a.status != 0 || b.status != 0) {
            std::fprintf(stderr, "a run failed (framewright-cli %d, python %d)\n", a.status, b.status);
            return 1;
        }
        ours.push_back(a.seconds);
        oursPeak.push_back(a.peakMiB);
        peer.push_back(b.seconds);
    }
    const double oursMedian = median(ours);
    const double peerMedian = median(peer);
    std::printf("framewright-cli db --stats: %.3f s median (%s), peak %.1f MiB\n", oursMedian, list(ours).constData(),
                median(oursPeak));
    std::printf("python csv.reader pass:     %.3f s median (%s)\n", peerMedian, list(peer).constData());
    std::printf("ratio: %.2f (target at most 2)\n", oursMedian / peerMedian);

    // Hostile shapes: memory must stay in proportion to the file.
    struct Shape
    {
        const char *name;
        QByteArray bytes;
    };
    std::vector<Shape> shapes;
    {
        QByteArray minimal = QByteArray(44, ',') + '\n';
        shapes.push_back({"1,000,000 minimal 45-field lines", minimal.repeated(1000000)});
    }
    {
        QByteArray noise(200 * 1000 * 1000, '\0');
        QRandomGenerator random(31337);
        random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        shapes.push_back({"200 MB of random bytes", std::move(noise)});
    }
    bool withinBounds = true;
    for (Shape &shape : shapes) {
        const QString path = dir + QStringLiteral("/hostile.csv");
        if (!writeFile(path, shape.bytes)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        const double sizeMB = double(shape.bytes.size()) / (1024.0 * 1024.0);
        shape.bytes.clear();
        const Run run = runChild({cli, "db", path.toStdString(), "--stats"});
        const double bound = 6.0 * sizeMB + 100.0;
        std::printf("%s (%.1f MiB): %.2f s, peak %.1f MiB, bound %.1f MiB: %s\n", shape.name, sizeMB, run.seconds,
                    run.peakMiB, bound, run.peakMiB < bound ? "within" : "OVER");
        withinBounds = withinBounds && run.peakMiB < bound && run.status == 0;
        QFile::remove(path);
    }
    return withinBounds ? 0 : 3;
}
