// GTK 3 form of the dialog window. Everything GTK is touched on the interface thread (the one
// that runs the loop); other threads reach the window through invokeAndWait.
#include "launcher/DialogWindow.h"

#include <gtk/gtk.h>

#include <condition_variable>
#include <map>
#include <mutex>

namespace {

bool g_haveDisplay = false;

// Template 102 in dialog units of the 8 pt shell font: 1.5 pixels across, 1.625 down.
constexpr int dluX(int x) { return x * 3 / 2; }
constexpr int dluY(int y) { return y * 13 / 8; }

struct TimerData {
    DialogWindow::State* state;
    unsigned id;
};

GdkPixbuf* makeIcon() {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 48, 48);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.15, 0.32, 0.55);
    cairo_rectangle(cr, 4, 4, 40, 40);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.97, 0.95, 0.88);
    cairo_rectangle(cr, 12, 9, 24, 30);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0.15, 0.32, 0.55);
    cairo_set_line_width(cr, 2);
    for (int y = 16; y <= 32; y += 5) {
        cairo_move_to(cr, 16, y);
        cairo_line_to(cr, 32, y);
    }
    cairo_stroke(cr);
    cairo_destroy(cr);
    GdkPixbuf* icon = gdk_pixbuf_get_from_surface(surface, 0, 0, 48, 48);
    cairo_surface_destroy(surface);
    return icon;
}

unsigned virtualKey(guint keyval) {
    switch (keyval) {
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter: return 0x0D;
        case GDK_KEY_Escape: return 0x1B;
        default: return keyval;
    }
}

}  // namespace

struct DialogWindow::State {
    explicit State(DialogWindowEvents& e) : events(e) {}
    DialogWindowEvents& events;
    GMainLoop* loop = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* bar = nullptr;
    int low = 0, high = 100;
    int result = 0;
    std::map<unsigned, guint> timers;
    GThread* worker = nullptr;
    const char* messageTitle = nullptr;
    const char* messageText = nullptr;
};

namespace {

gboolean onKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
    auto* state = static_cast<DialogWindow::State*>(data);
    return state->events.onKeyDown(virtualKey(event->keyval)) ? TRUE : FALSE;
}

// No close button, and the window manager's close request is refused as well.
gboolean onDelete(GtkWidget*, GdkEvent*, gpointer) { return TRUE; }

gboolean onTimeout(gpointer data) {
    auto* timer = static_cast<TimerData*>(data);
    DialogWindow::State* state = timer->state;
    unsigned id = timer->id;
    // The handler may kill this very timer, which frees timer: do not touch it afterwards.
    state->events.onTimer(id);
    return G_SOURCE_CONTINUE;
}

struct Invocation {
    Invocation(void (*f)(DialogWindow::State*, int), DialogWindow::State* s, int v) : fn(f), state(s), value(v) {}
    void (*fn)(DialogWindow::State*, int);
    DialogWindow::State* state;
    int value;
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
};

gboolean runInvocation(gpointer data) {
    auto* call = static_cast<Invocation*>(data);
    call->fn(call->state, call->value);
    std::lock_guard<std::mutex> lock(call->mutex);
    call->done = true;
    call->cv.notify_one();
    return G_SOURCE_REMOVE;
}

// Runs fn on the interface thread and waits for it, as a sent window message does.
void invokeAndWait(DialogWindow::State* state, void (*fn)(DialogWindow::State*, int), int value) {
    if (g_main_context_is_owner(g_main_context_default())) return fn(state, value);
    Invocation call(fn, state, value);
    g_main_context_invoke(nullptr, runInvocation, &call);
    std::unique_lock<std::mutex> lock(call.mutex);
    call.cv.wait(lock, [&] { return call.done; });
}

void applyProgress(DialogWindow::State* s, int pos) {
    if (!s->bar || s->high <= s->low) return;
    int clamped = pos < s->low ? s->low : pos > s->high ? s->high : pos;
    gtk_progress_bar_set_fraction(GTK_PROGRESS_BAR(s->bar), double(clamped - s->low) / (s->high - s->low));
}

// Nothing is shown again once the dialog hides, so the window and the display connection go:
// if the display then ends (the session closes), the toolkit would end this process on the
// spot and leave the extraction folder behind. The loop and its timers run on without it.
void applyHide(DialogWindow::State* s, int) {
    if (!s->window) return;
    gtk_widget_destroy(s->window);
    s->window = nullptr;
    s->bar = nullptr;
    // Closing the default display makes GTK's own objects complain about their vanished screen;
    // nothing of it concerns this program, whose output must stay clean.
    guint quiet = g_log_set_handler(
        "GLib-GObject", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL),
        [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    gdk_display_close(gdk_display_get_default());
    g_log_remove_handler("GLib-GObject", quiet);
}

void applyMessage(DialogWindow::State* s, int) {
    if (!s->window) return;
    GtkWidget* box = gtk_message_dialog_new(GTK_WINDOW(s->window), GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR, GTK_BUTTONS_OK,
                                            "%s", s->messageText);
    gtk_window_set_title(GTK_WINDOW(box), s->messageTitle);
    gtk_dialog_run(GTK_DIALOG(box));
    gtk_widget_destroy(box);
}

void addStyle() {
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, "progressbar trough, progressbar progress { min-height: 14px; }", -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(css),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

}  // namespace

bool dialogPlatformStart(const char* applicationName) {
    g_set_application_name(applicationName);
    g_haveDisplay = gtk_init_check(nullptr, nullptr);
    return g_haveDisplay;
}

DialogWindow::DialogWindow(DialogWindowEvents& events) : m_state(new State(events)) {}

DialogWindow::~DialogWindow() {
    for (auto& [id, source] : m_state->timers) g_source_remove(source);
    if (m_state->worker) g_thread_join(m_state->worker);
    if (m_state->window) gtk_widget_destroy(m_state->window);
    if (m_state->loop) g_main_loop_unref(m_state->loop);
    delete m_state;
}

bool DialogWindow::create(const char* title, const char* text) {
    m_state->loop = g_main_loop_new(nullptr, FALSE);
    if (!g_haveDisplay) return false;
    addStyle();
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    m_state->window = window;
    gtk_window_set_title(GTK_WINDOW(window), title);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_deletable(GTK_WINDOW(window), FALSE);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_window_set_type_hint(GTK_WINDOW(window), GDK_WINDOW_TYPE_HINT_DIALOG);
    // A title bar of our own, so the title shows even where no window manager draws one.
    GtkWidget* header = gtk_header_bar_new();
    gtk_header_bar_set_title(GTK_HEADER_BAR(header), title);
    gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(header), FALSE);
    gtk_window_set_titlebar(GTK_WINDOW(window), header);
    GdkPixbuf* icon = makeIcon();
    gtk_window_set_icon(GTK_WINDOW(window), icon);
    g_object_unref(icon);

    GtkWidget* fixed = gtk_fixed_new();
    gtk_widget_set_size_request(fixed, dluX(309), dluY(49));
    GtkWidget* label = gtk_label_new(text);
    gtk_fixed_put(GTK_FIXED(fixed), label, dluX(7), dluY(7));
    m_state->bar = gtk_progress_bar_new();
    gtk_widget_set_size_request(m_state->bar, dluX(249), dluY(14));
    gtk_fixed_put(GTK_FIXED(fixed), m_state->bar, dluX(36), dluY(20));
    gtk_container_add(GTK_CONTAINER(window), fixed);

    g_signal_connect(window, "key-press-event", G_CALLBACK(onKeyPress), m_state);
    g_signal_connect(window, "delete-event", G_CALLBACK(onDelete), nullptr);
    gtk_widget_show_all(window);
    return true;
}

bool DialogWindow::hasWindow() const { return m_state->window != nullptr; }

void DialogWindow::setProgressRange(int low, int high) {
    m_state->low = low;
    m_state->high = high;
    applyProgress(m_state, low);
}

void DialogWindow::startTimer(unsigned id, unsigned periodMs) {
    killTimer(id);
    auto* data = new TimerData{m_state, id};
    m_state->timers[id] = g_timeout_add_full(G_PRIORITY_DEFAULT, periodMs, onTimeout, data,
                                             [](gpointer p) { delete static_cast<TimerData*>(p); });
}

void DialogWindow::killTimer(unsigned id) {
    auto it = m_state->timers.find(id);
    if (it == m_state->timers.end()) return;
    guint source = it->second;
    m_state->timers.erase(it);
    g_source_remove(source);
}

int DialogWindow::runModal() {
    g_main_loop_run(m_state->loop);
    return m_state->result;
}

void DialogWindow::endModal(int result) {
    m_state->result = result;
    g_main_loop_quit(m_state->loop);
}

void DialogWindow::setProgressPos(int pos) { invokeAndWait(m_state, applyProgress, pos); }

void DialogWindow::hide() { invokeAndWait(m_state, applyHide, 0); }

void DialogWindow::showMessage(const char* title, const char* text) {
    m_state->messageTitle = title;
    m_state->messageText = text;
    invokeAndWait(m_state, applyMessage, 0);
}

bool DialogWindow::startThread(unsigned (*proc)(void*), void* arg) {
    struct Start {
        unsigned (*proc)(void*);
        void* arg;
    };
    auto* start = new Start{proc, arg};
    GThreadFunc body = [](gpointer p) -> gpointer {
        Start s = *static_cast<Start*>(p);
        delete static_cast<Start*>(p);
        s.proc(s.arg);
        return nullptr;
    };
    m_state->worker = g_thread_try_new("worker", body, start, nullptr);
    if (!m_state->worker) delete start;
    return m_state->worker != nullptr;
}
