#include "contents.h"

#include <QStringList>
#include <QTreeWidget>

#include "app/appcontext.h"
#include "edit/editorfields.h"
#include "file/mp3object.h"
#include "tags/frameview.h"

namespace velmar::gui {

namespace {

QTreeWidgetItem* Node(QTreeWidgetItem* parent, QTreeWidget& tree, const QString& caption, const QStringList& lines) {
    auto* item = parent ? new QTreeWidgetItem(parent, {caption}) : new QTreeWidgetItem(&tree, {caption});
    item->setData(0, Qt::UserRole, lines);
    return item;
}

bool IsCaptioned(const std::string& id) { return velmar::FrameCaption(id) != id; }

QString YesNo(bool value) { return value ? "Yes" : "No"; }

// The lines of one frame: each field by name, binary fields as "[Binary Data]".
QStringList FrameLines(const velmar::TFrameView& view) {
    QStringList lines{QString("Size: %1 bytes").arg(view.Size)};
    if (view.Kind == velmar::TFrameKind::Other && view.FieldCount == 0) lines << "[Unhandled]";
    for (const velmar::TFieldValue& field : view.Fields()) {
        const QString name = QString::fromLatin1(field.Name);
        if (const auto* text = std::get_if<std::string_view>(&field.Value))
            lines << name + ": " + FromUtf8(std::string(*text));
        else if (const auto* number = std::get_if<int64_t>(&field.Value))
            lines << QString("%1: %2").arg(name).arg(*number);
        else
            lines << name + ": [Binary Data]";
    }
    return lines;
}

void AddID3v2(QTreeWidget& tree, velmar::TMP3Object& file) {
    velmar::TID3v2Object& v2 = file.ID3v2();
    const velmar::TID3v2Header& h = v2.Header;
    Node(nullptr, tree, "ID3 v2.3.0 Header",
         {QString("Version %1.%2").arg(h.MajorVersion).arg(h.Revision),
          "Unsynchronisation: " + YesNo(h.Unsynchronisation), "Extended Header: " + YesNo(h.ExtendedHeader),
          "Experimental: " + YesNo(h.Experimental),
          "Other Flag: " + (h.OtherFlags ? QString("Yes (This isn't a valid file.)") : QString("No")),
          QString("Size: %1 bytes").arg(h.Size)});
    if (h.ExtendedHeader)
        Node(nullptr, tree, "ID3 v2.3.0 Extended Header",
             {QString("Size: %1 bytes").arg(v2.ExtHeader.Size), "CRC: " + YesNo(v2.ExtHeader.CRCPresent),
              QString("Padding Size: %1 bytes").arg(v2.ExtHeader.PaddingSize)});
    QTreeWidgetItem* tag = Node(nullptr, tree, "ID3 v2.3.0 Tag",
                                {v2.Valid ? QString("Frames: %1").arg(v2.FrameOrder.size())
                                          : QString("The tag is not understood; its bytes are kept.")});
    for (const velmar::TFrameRef& ref : v2.FrameOrder)
        if (velmar::TID3v2Frame* frame = v2.Frame(ref))
            Node(tag, tree, FromUtf8(ref.FrameID + (IsCaptioned(ref.FrameID) ? "  " + FrameCaption(ref.FrameID) : "")),
                 FrameLines(velmar::ViewOf(*frame, ref.FrameID)));
    tag->setExpanded(true);
}

}  // namespace

void FillContentsTree(QTreeWidget& tree, velmar::TMP3Object& file) {
    tree.clear();
    Node(nullptr, tree, "MPEG Stream Data",
         {"MPEG Type: " + FromUtf8(file.MpegType), "MPEG Version: " + FromUtf8(file.MpegVersion),
          "Layer: " + FromUtf8(file.Layer), "Bitrate: " + FromUtf8(file.Bitrate) + " kbit",
          "Frequency: " + FromUtf8(file.Frequency), "Mode: " + FromUtf8(file.Mode),
          "Frames: " + FromUtf8(file.TotalFrames), "Length: " + FromUtf8(file.SongLength),
          QString("Audio: %1 bytes from offset %2").arg(file.AudioLength).arg(file.AudioStart)});
    if (file.ID3v2().Present) AddID3v2(tree, file);
    const velmar::TID3v1Object& v1 = file.ID3v1();
    if (v1.Present)
        Node(nullptr, tree, "ID3 v1.x Tag",
             {"Title: " + FromUtf8(velmar::Latin1ToUtf8(velmar::TID3v1Object::FieldText(v1.Title))),
              "Artist: " + FromUtf8(velmar::Latin1ToUtf8(velmar::TID3v1Object::FieldText(v1.Artist))),
              "Album: " + FromUtf8(velmar::Latin1ToUtf8(velmar::TID3v1Object::FieldText(v1.Album))),
              "Year: " + FromUtf8(velmar::TID3v1Object::FieldText(v1.Year)),
              "Comment: " + FromUtf8(velmar::Latin1ToUtf8(velmar::TID3v1Object::FieldText(v1.Comment))),
              QString("Track: %1").arg(v1.TrackNumber), "Genre: " + FromUtf8(velmar::Latin1ToUtf8(v1.GenreName))});
    const velmar::TLyricsObject& l3 = file.Lyrics3();
    if (l3.Present)
        Node(nullptr, tree, "Lyrics3 v2.0",
             {QString("Size: %1 bytes").arg(l3.Size), QString("Lyrics: %1 bytes").arg(l3.Lyrics.size()),
              "Author: " + FromUtf8(velmar::Latin1ToUtf8(l3.Author)),
              "Album: " + FromUtf8(velmar::Latin1ToUtf8(l3.ExtAlbum)),
              "Artist: " + FromUtf8(velmar::Latin1ToUtf8(l3.ExtArtist)),
              "Title: " + FromUtf8(velmar::Latin1ToUtf8(l3.ExtTitle))});
    tree.setCurrentItem(tree.topLevelItem(0));
}

}  // namespace velmar::gui
