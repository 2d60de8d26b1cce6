// What the tag editor's "Save" does to a file, from a shell, for the peer round trip:
// the file's values read into the editor's fields and written back, unchanged, or
// with a value of every kind edited (--edit), saving the tags the file has.
#include <iostream>
#include <string>

#include "edit/editorfields.h"

using namespace velmar;

namespace {

void EditEveryKind(TEditorFields& f) {
    f.SetFrame("TIT2", "Editor title ünï");
    f.SetFrame("TCOM", "Компо́зитор");
    f.SetFrame("TPUB", "Harbour Records");
    f.SetFrame("WOAR", "https://artist.example.org/");
    f.Comments.push_back({"fra", "Note", "Très bien"});
    f.UserTexts.push_back({"Editor", "値"});
    f.UserUrls.push_back({"Editor link", "https://editor.example.org/"});
    f.Lyrics.push_back({"deu", "Strophe", "Erste Zeile\nZweite Zeile"});
    f.Pictures.push_back({4, "image/png", "Back", TBytes{0x89, 'P', 'N', 'G', 1, 2, 3}});
    f.Ratings.push_back({"editor@example.org", 128, 3});
    f.PlayCounter = 42;
    f.People = {{"producer", "Ann Editor"}};
}

}  // namespace

int main(int argc, char** argv) {
    const bool edit = argc == 3 && std::string(argv[1]) == "--edit";
    if (argc != 2 && !edit) {
        std::cerr << "usage: editor_resave [--edit] FILE\n";
        return 2;
    }
    const std::string file = argv[argc - 1];
    TCollectingSink sink;
    TMP3Object object(sink);
    if (!object.LoadFile(file, true)) {
        for (const std::string& m : sink.Messages) std::cerr << m << "\n";
        return 1;
    }
    const TEditorFields read = ReadEditorFields(object);
    TEditorFields edited = read;
    if (edit) EditEveryKind(edited);
    ApplyEditorFields(read, edited, object);
    const bool saved = object.SaveFile(file, true, object.Lyrics3().Present, object.ID3v1().Present);
    for (const std::string& m : sink.Messages) std::cerr << m << "\n";
    return saved ? 0 : 1;
}
