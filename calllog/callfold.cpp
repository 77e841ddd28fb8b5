#include "calllog/callfold.h"

#include <QChar>
#include <QVector>

namespace {

// Letters that are no letter plus accent in Unicode, so decomposition
// leaves them whole, but that people type without their stroke or as two
// letters: "Ødegård" is looked for as "odegard", "Straße" as "strasse".
const char* extraFold(uint c)
{
    switch (c) {
    case 0x00DF: // ß
    case 0x1E9E: // ẞ
        return "ss";
    case 0x00E6: // æ
        return "ae";
    case 0x0153: // œ
        return "oe";
    case 0x00F8: // ø
        return "o";
    case 0x0142: // ł
        return "l";
    case 0x0111: // đ
    case 0x00F0: // ð
        return "d";
    case 0x00FE: // þ
        return "th";
    case 0x0127: // ħ
        return "h";
    case 0x0131: // dotless ı
        return "i";
    case 0x0167: // ŧ
        return "t";
    default:
        return nullptr;
    }
}

} // namespace

QString CallFold::fold(const QString& text)
{
    const QVector<uint> decomposed = text.normalized(QString::NormalizationForm_KD).toUcs4();
    QString out;
    out.reserve(decomposed.size());
    bool space = true; // no space at the start
    for (uint c : decomposed) {
        const QChar::Category category = QChar::category(c);
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
            || category == QChar::Mark_Enclosing)
            continue;
        if (QChar::isSpace(c) || category == QChar::Other_Control) {
            if (!space)
                out += QLatin1Char(' ');
            space = true;
            continue;
        }
        space = false;
        const uint folded = QChar::toCaseFolded(c);
        if (const char* extra = extraFold(folded)) {
            out += QLatin1String(extra);
        } else if (QChar::requiresSurrogates(folded)) {
            out += QChar(QChar::highSurrogate(folded));
            out += QChar(QChar::lowSurrogate(folded));
        } else {
            out += QChar(folded);
        }
    }
    if (out.endsWith(QLatin1Char(' ')))
        out.chop(1);
    return out;
}
