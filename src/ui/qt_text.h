// Text between the model (8-bit std::string) and the widgets (QString).
#pragma once

#include <QFile>
#include <QString>
#include <QStringDecoder>
#include <QTextDocument>

#include <string>

namespace tabulor {

// Model text for display: UTF-8 when it is valid UTF-8, else Latin-1, so
// that a name from an old 8-bit file still shows every character.
inline QString ToQ(const std::string& text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString s = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return s;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A box's text for the model's readers.
inline std::string FromQ(const QString& text) { return text.toStdString(); }

// A tool tip that shows `text` as it is written: a file name or a name from
// a file that looks like markup is escaped rather than drawn as markup.
inline QString PlainToolTip(const QString& text) {
  if (!Qt::mightBeRichText(text)) return text;
  return QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() + QStringLiteral("</p>");
}

// File names as the file system spells them.
inline std::string PathFromQ(const QString& path) { return QFile::encodeName(path).toStdString(); }
inline QString PathToQ(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace tabulor
