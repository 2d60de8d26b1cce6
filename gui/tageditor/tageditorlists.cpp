// The tag editor's lists of frames that may occur more than once: shown, added to,
// edited and deleted through the frame dialogs; pictures added from and extracted
// to files.
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "app/appcontext.h"
#include "app/dialogs.h"
#include "tageditor/framedialogs.h"
#include "tageditorform.h"
#include "tags/id3v2classes.h"

namespace velmar::gui {

namespace {

using TKind = TFrameItemDialog::TKind;

void Fill(QTreeWidget* list, const QList<QStringList>& rows) {
    const int current = list->indexOfTopLevelItem(list->currentItem());
    list->clear();
    for (const QStringList& row : rows) {
        QStringList shown;
        for (const QString& cell : row) shown << QString(cell).replace('\n', " / ");
        new QTreeWidgetItem(list, shown);
    }
    if (list->topLevelItemCount() > 0)
        list->setCurrentItem(list->topLevelItem(std::clamp(current, 0, list->topLevelItemCount() - 1)));
}

QString U(const std::string& text) { return FromUtf8(text); }
std::string S(const QString& text) { return text.toStdString(); }

QStringList PictureTypes() {
    QStringList names;
    for (const std::string& name : velmar::PictureTypeNames()) names << FromUtf8(name);
    return names;
}

}  // namespace

void TTagEditorForm::ShowLists() {
    QList<QStringList> rows;
    for (const TLangTextItem& c : Edited.Comments) rows.append({U(c.Language), U(c.Description), U(c.Text)});
    Fill(lvComments, rows);
    rows.clear();
    for (const TDescValueItem& t : Edited.UserTexts) rows.append({U(t.Description), U(t.Value)});
    Fill(lvUserTexts, rows);
    rows.clear();
    for (const TDescValueItem& t : Edited.UserUrls) rows.append({U(t.Description), U(t.Value)});
    Fill(lvUserUrls, rows);
    rows.clear();
    for (const TLangTextItem& l : Edited.Lyrics) rows.append({U(l.Language), U(l.Description)});
    Fill(lvLyrics, rows);
    btnCopyLyrics->setEnabled(!Edited.Lyrics.empty());
    if (Edited.Lyrics.empty()) memLyricsText->clear();
    rows.clear();
    const QStringList types = PictureTypes();
    for (const TPictureItem& p : Edited.Pictures)
        rows.append(
            {types.value(p.Type, "Other"), U(p.Description), U(p.Mime), QString("%1 bytes").arg(p.Data.size())});
    Fill(lvPictures, rows);
    ShowPicture();
    rows.clear();
    for (const TRatingItem& r : Edited.Ratings)
        rows.append({U(r.Email), QString::number(r.Rating), QString::number(r.Counter)});
    Fill(lvRatings, rows);
    rows.clear();
    for (const TPersonItem& p : Edited.People) rows.append({U(p.Role), U(p.Name)});
    Fill(lvPeople, rows);
}

void TTagEditorForm::ListChanged() {
    SetChanged(true);
    ShowLists();
}

void TTagEditorForm::ShowPicture() {
    const int i = lvPictures->indexOfTopLevelItem(lvPictures->currentItem());
    if (i < 0 || size_t(i) >= Edited.Pictures.size()) {
        imgPicture->clear();
        lblPictureSize->clear();
        return;
    }
    const velmar::TBytes& data = Edited.Pictures[size_t(i)].Data;
    QImage image;
    if (!image.loadFromData(data.data(), int(data.size()))) {
        // Kept in the tag as it is; only not shown.
        imgPicture->setText("No preview:\nthe picture cannot be decoded");
        lblPictureSize->setText(QString("%1 bytes").arg(data.size()));
        return;
    }
    imgPicture->setPixmap(QPixmap::fromImage(image).scaled(imgPicture->size() - QSize(8, 8), Qt::KeepAspectRatio,
                                                           Qt::SmoothTransformation));
    lblPictureSize->setText(QString("%1 x %2 pixels").arg(image.width()).arg(image.height()));
}

template <typename T>
void TTagEditorForm::RemoveSelected(std::vector<T>& items, QTreeWidget* list) {
    const int i = list->indexOfTopLevelItem(list->currentItem());
    if (i < 0 || size_t(i) >= items.size()) return;
    items.erase(items.begin() + i);
    ListChanged();
}
template void TTagEditorForm::RemoveSelected(std::vector<TLangTextItem>&, QTreeWidget*);
template void TTagEditorForm::RemoveSelected(std::vector<TDescValueItem>&, QTreeWidget*);
template void TTagEditorForm::RemoveSelected(std::vector<TPictureItem>&, QTreeWidget*);
template void TTagEditorForm::RemoveSelected(std::vector<TRatingItem>&, QTreeWidget*);
template void TTagEditorForm::RemoveSelected(std::vector<TPersonItem>&, QTreeWidget*);

void TTagEditorForm::EditLangText(std::vector<TLangTextItem>& items, QTreeWidget* list, bool add,
                                  const QString& caption, const QString& history) {
    const int i = list->indexOfTopLevelItem(list->currentItem());
    if (!add && (i < 0 || size_t(i) >= items.size())) return;
    const TLangTextItem item = add ? TLangTextItem{} : items[size_t(i)];
    const QString db = Paths.WritableDataFolder + "DB/db" + history;
    TFrameItemDialog dialog(caption,
                            {{"Language", TKind::Line, {}, {}, 0},
                             {"Description", TKind::Line, db + "Desc.db", {}, 0},
                             {"Text", TKind::Text, {}, {}, 0}},
                            {U(item.Language), U(item.Description), U(item.Text)}, this);
    if (Dialogs.Exec(dialog) != QDialog::Accepted) return;
    const QStringList v = dialog.Values();
    const TLangTextItem edited{S(v[0].left(3)), S(v[1]), S(v[2])};
    if (add)
        items.push_back(edited);
    else
        items[size_t(i)] = edited;
    if (const QStringList errors = dialog.SaveHistories(); !errors.isEmpty())
        Dialogs.Error(this, "DB update exception: " + errors.join('\n'));
    ListChanged();
}

void TTagEditorForm::EditDescValue(std::vector<TDescValueItem>& items, QTreeWidget* list, bool add,
                                   const QString& caption, const QString& history) {
    const int i = list->indexOfTopLevelItem(list->currentItem());
    if (!add && (i < 0 || size_t(i) >= items.size())) return;
    const TDescValueItem item = add ? TDescValueItem{} : items[size_t(i)];
    const QString db = Paths.WritableDataFolder + "DB/db" + history;
    TFrameItemDialog dialog(caption,
                            {{"Description", TKind::Line, db + "Desc.db", {}, 0},
                             {history == "WXXX" ? "URL" : "Value", TKind::Line, db + "Cont.db", {}, 0}},
                            {U(item.Description), U(item.Value)}, this);
    if (Dialogs.Exec(dialog) != QDialog::Accepted) return;
    const QStringList v = dialog.Values();
    if (add)
        items.push_back({S(v[0]), S(v[1])});
    else
        items[size_t(i)] = {S(v[0]), S(v[1])};
    if (const QStringList errors = dialog.SaveHistories(); !errors.isEmpty())
        Dialogs.Error(this, "DB update exception: " + errors.join('\n'));
    ListChanged();
}

void TTagEditorForm::EditRating(bool add) {
    const int i = lvRatings->indexOfTopLevelItem(lvRatings->currentItem());
    if (!add && (i < 0 || size_t(i) >= Edited.Ratings.size())) return;
    const TRatingItem item = add ? TRatingItem{} : Edited.Ratings[size_t(i)];
    TFrameItemDialog dialog("Popularimeter",
                            {{"E-mail", TKind::Line, Paths.WritableDataFolder + "DB/dbPOPM.db", {}, 0},
                             {"Rating (0-255)", TKind::Number, {}, {}, 255},
                             {"Counter", TKind::Number, {}, {}, std::numeric_limits<int>::max()}},
                            {U(item.Email), QString::number(item.Rating), QString::number(item.Counter)}, this);
    if (Dialogs.Exec(dialog) != QDialog::Accepted) return;
    const QStringList v = dialog.Values();
    const TRatingItem edited{S(v[0]), v[1].toInt(), v[2].toULongLong()};
    if (add)
        Edited.Ratings.push_back(edited);
    else
        Edited.Ratings[size_t(i)] = edited;
    dialog.SaveHistories();
    ListChanged();
}

void TTagEditorForm::EditPerson(bool add) {
    const int i = lvPeople->indexOfTopLevelItem(lvPeople->currentItem());
    if (!add && (i < 0 || size_t(i) >= Edited.People.size())) return;
    const TPersonItem item = add ? TPersonItem{} : Edited.People[size_t(i)];
    TFrameItemDialog dialog("Involved Person",
                            {{"Involvement", TKind::Line, {}, {}, 0}, {"Person", TKind::Line, {}, {}, 0}},
                            {U(item.Role), U(item.Name)}, this);
    if (Dialogs.Exec(dialog) != QDialog::Accepted) return;
    const QStringList v = dialog.Values();
    if (add)
        Edited.People.push_back({S(v[0]), S(v[1])});
    else
        Edited.People[size_t(i)] = {S(v[0]), S(v[1])};
    ListChanged();
}

void TTagEditorForm::AddPicture(bool replace) {
    const int i = lvPictures->indexOfTopLevelItem(lvPictures->currentItem());
    if (replace && (i < 0 || size_t(i) >= Edited.Pictures.size())) return;
    const QStringList files = Dialogs.OpenFiles(
        this, "Select A Picture", QString(),
        "Pictures (*.jpg;*.jpeg;*.png;*.gif;*.bmp;*.ico)|*.jpg;*.jpeg;*.png;*.gif;*.bmp;*.ico", false);
    if (files.isEmpty()) return;
    QFile file(files.first());
    if (!file.open(QIODevice::ReadOnly)) {
        Dialogs.Error(this, "Cannot read \"" + files.first() + "\": " + file.errorString());
        return;
    }
    const QByteArray bytes = file.readAll();
    TPictureItem picture = replace ? Edited.Pictures[size_t(i)] : TPictureItem{};
    picture.Mime = velmar::PictureMimeType(S(QFileInfo(files.first()).fileName()));
    picture.Data.assign(bytes.begin(), bytes.end());
    if (replace) {
        Edited.Pictures[size_t(i)] = picture;
    } else {
        Edited.Pictures.push_back(picture);
        ListChanged();
        lvPictures->setCurrentItem(lvPictures->topLevelItem(lvPictures->topLevelItemCount() - 1));
        EditPicture();  // its type and description
        return;
    }
    ListChanged();
}

void TTagEditorForm::EditPicture() {
    const int i = lvPictures->indexOfTopLevelItem(lvPictures->currentItem());
    if (i < 0 || size_t(i) >= Edited.Pictures.size()) return;
    TPictureItem& picture = Edited.Pictures[size_t(i)];
    TFrameItemDialog dialog("Picture",
                            {{"Picture type", TKind::Choice, {}, PictureTypes(), 0},
                             {"Description", TKind::Line, Paths.WritableDataFolder + "DB/dbAPIC.db", {}, 0}},
                            {QString::number(picture.Type), U(picture.Description)}, this);
    if (Dialogs.Exec(dialog) != QDialog::Accepted) return;
    const QStringList v = dialog.Values();
    picture.Type = uint8_t(v[0].toInt());
    picture.Description = S(v[1]);
    dialog.SaveHistories();
    ListChanged();
}

void TTagEditorForm::ExtractPicture() {
    const int i = lvPictures->indexOfTopLevelItem(lvPictures->currentItem());
    if (i < 0 || size_t(i) >= Edited.Pictures.size()) return;
    const TPictureItem& picture = Edited.Pictures[size_t(i)];
    // The file's extension from the MIME type: "image/jpeg" gives "jpg", "image/bitmap" "bmp".
    QString extension = FromUtf8(picture.Mime).section('/', 1).toLower();
    if (extension == "jpeg") extension = "jpg";
    if (extension == "bitmap") extension = "bmp";
    if (extension.isEmpty()) extension = "bin";
    const QString target =
        Dialogs.SaveFile(this, "Select A Filename For The Extracted Picture", QString(),
                         "Pictures (*." + extension + ")|*." + extension + "|All Files (*.*)|*.*", extension);
    if (target.isEmpty()) return;
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(reinterpret_cast<const char*>(picture.Data.data()), qint64(picture.Data.size())) !=
            qint64(picture.Data.size()) ||
        !out.flush())
        Dialogs.Error(this, QString("Error extracting picture: %1").arg(out.errorString()));
}

}  // namespace velmar::gui
