// The sample publication's viewer, shipped as "offline.exe". It reads contents.txt beside its
// own file (the launcher starts it in the launcher's working directory, not in its folder):
// the first line is the title, then one "path<TAB>chapter title" line per page. With a display
// it shows the chapters and their pages in a window; closing the window ends it. Without a
// display it prints the table of contents.
#include <gtk/gtk.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Chapter {
    std::string path;
    std::string title;
};

struct Publication {
    std::string folder;
    std::string title;
    std::vector<Chapter> chapters;
};

std::string ownFolder() {
    char self[PATH_MAX + 1];
    ssize_t n = readlink("/proc/self/exe", self, PATH_MAX);
    std::string path(self, n > 0 ? std::size_t(n) : 0);
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

bool load(Publication& pub) {
    pub.folder = ownFolder();
    std::ifstream in(pub.folder + "/contents.txt");
    if (!std::getline(in, pub.title)) return false;
    for (std::string line; std::getline(in, line);) {
        std::size_t tab = line.find('\t');
        if (tab != std::string::npos) pub.chapters.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }
    return true;
}

std::string readPage(const Publication& pub, const Chapter& chapter) {
    std::ifstream in(pub.folder + "/" + chapter.path);
    std::ostringstream text;
    text << in.rdbuf();
    return in ? text.str() : "(this page is missing)";
}

void printContents(const Publication& pub) {
    std::printf("%s\n\n", pub.title.c_str());
    for (std::size_t i = 0; i < pub.chapters.size(); ++i)
        std::printf("%2zu. %s\n", i + 1, pub.chapters[i].title.c_str());
}

struct Viewer {
    const Publication* pub;
    GtkTextBuffer* page;
};

void onRowSelected(GtkListBox*, GtkListBoxRow* row, gpointer data) {
    auto* viewer = static_cast<Viewer*>(data);
    if (!row) return;
    std::string text = readPage(*viewer->pub, viewer->pub->chapters[std::size_t(gtk_list_box_row_get_index(row))]);
    gtk_text_buffer_set_text(viewer->page, text.c_str(), -1);
}

void showWindow(const Publication& pub) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), pub.title.c_str());
    gtk_window_set_default_size(GTK_WINDOW(window), 760, 420);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    GtkWidget* paned = gtk_paned_new(GTK_ORIENTATION_HORIZONTAL);
    GtkWidget* list = gtk_list_box_new();
    for (const Chapter& chapter : pub.chapters) {
        GtkWidget* label = gtk_label_new(chapter.title.c_str());
        gtk_widget_set_halign(label, GTK_ALIGN_START);
        gtk_widget_set_margin_start(label, 8);
        gtk_list_box_insert(GTK_LIST_BOX(list), label, -1);
    }
    GtkWidget* text = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(text), FALSE);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(text), GTK_WRAP_WORD);
    gtk_text_view_set_left_margin(GTK_TEXT_VIEW(text), 12);
    static Viewer viewer;
    viewer = {&pub, gtk_text_view_get_buffer(GTK_TEXT_VIEW(text))};
    g_signal_connect(list, "row-selected", G_CALLBACK(onRowSelected), &viewer);
    gtk_paned_pack1(GTK_PANED(paned), list, FALSE, FALSE);
    gtk_paned_pack2(GTK_PANED(paned), text, TRUE, FALSE);
    gtk_container_add(GTK_CONTAINER(window), paned);
    gtk_list_box_select_row(GTK_LIST_BOX(list), gtk_list_box_get_row_at_index(GTK_LIST_BOX(list), 0));
    gtk_widget_show_all(window);
    gtk_main();
}

}  // namespace

int main(int argc, char** argv) {
    Publication pub;
    if (!load(pub)) {
        std::fprintf(stderr, "offline.exe: no contents.txt beside the viewer\n");
        return 1;
    }
    if (gtk_init_check(&argc, &argv)) showWindow(pub);
    else printContents(pub);
    return 0;
}
