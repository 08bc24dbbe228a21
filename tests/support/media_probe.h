#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tovalit::testing {

// What ffprobe says about the first audio stream of a file and its
// container (codec_name, sample_rate, channels, bit_rate, format_name,
// duration), as key -> value. Empty when ffprobe cannot read the file.
inline QMap<QString, QString> probeMediaFile(const QString &path) {
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                   QStringLiteral("a:0"), QStringLiteral("-show_entries"),
                   QStringLiteral("stream=codec_name,sample_rate,channels,bit_rate:"
                                  "format=format_name,duration"),
                   QStringLiteral("-of"), QStringLiteral("default=noprint_wrappers=1"), path});
    ffprobe.waitForFinished(20000);
    QMap<QString, QString> values;
    for (const QString &line : QString::fromUtf8(ffprobe.readAllStandardOutput()).split(u'\n')) {
        const auto parts = line.split(u'=');
        if (parts.size() == 2)
            values.insert(parts[0], parts[1]);
    }
    return values;
}

} // namespace tovalit::testing
