#include "widgets/ui_font.h"

#include <QFontDatabase>
#include <QStringList>

QString SkinFontFamily()
{
    static const QString family = [] {
        const QStringList families = QFontDatabase::families();
        for (const QString &name :
             {QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed")}) {
            if (families.contains(name, Qt::CaseInsensitive))
                return name;
        }
        return QStringLiteral("DejaVu Sans");
    }();
    return family;
}

QFont SkinFont(int nPixelHeight, int nWeight)
{
    QFont font(SkinFontFamily());
    font.setPixelSize(nPixelHeight);
    font.setWeight(QFont::Weight(nWeight));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont DialogFont()
{
    QFont font(SkinFontFamily());
    font.setPointSize(8);
    return font;
}
