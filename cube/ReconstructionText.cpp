#include "ReconstructionText.h"

#include <QStringView>

namespace cube {

QString foldQuotedCells(const QString &text)
{
    const QStringView in(text);
    qsizetype quote = in.indexOf(u'"');
    if (quote < 0)
        return text;

    // Quotes pair up from the left: the first opens, the next closes. Between
    // them line breaks and tabs become blanks; both quotes go.
    QString out;
    out.reserve(in.size());
    qsizetype copied = 0;
    while (quote >= 0) {
        out.append(in.mid(copied, quote - copied));
        const qsizetype close = in.indexOf(u'"', quote + 1);
        if (close < 0) {
            // An unpaired quote: the text loses its last character and the
            // quote. When the quote is itself the last character, only it goes.
            const QStringView rest = in.mid(quote + 1);
            out.append(rest.chopped(rest.isEmpty() ? 0 : 1));
            return out;
        }
        for (qsizetype i = quote + 1; i < close; ++i) {
            const QChar c = in[i];
            out.append(c == u'\n' || c == u'\r' || c == u'\t' ? QChar(u' ') : c);
        }
        copied = close + 1;
        quote = in.indexOf(u'"', copied);
    }
    out.append(in.mid(copied));
    return out;
}

QStringList pastedRows(const QString &text)
{
    return foldQuotedCells(text).split(u'\n', Qt::KeepEmptyParts);
}

} // namespace cube
