// A GTK 3 text view for integration tests: one window holding a text with
// the caret (or a selection) where the test says, editable or read-only.
// Prints "ready" once the window is active and the view has the keyboard
// focus. With --paste it then pastes what the desktop's clipboard holds at
// the caret, as the user's Ctrl+V would.
//
//   gtk_text_view [--read-only|--paste] TITLE TEXT CARET [ANCHOR]   (offsets in characters)

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gtk/gtk.h>

static bool paste = false;

static gboolean report_ready(gpointer data) {
    GtkWidget *view = static_cast<GtkWidget *>(data);
    GtkWidget *window = gtk_widget_get_toplevel(view);
    if (gtk_window_is_active(GTK_WINDOW(window)) && gtk_widget_has_focus(view)) {
        // A Wayland desktop hands the clipboard only to the window with
        // the keyboard focus.
        if (paste)
            g_signal_emit_by_name(view, "paste-clipboard");
        printf("ready\n");
        fflush(stdout);
        return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
}

int main(int argc, char **argv) {
    gtk_init(&argc, &argv);
    const bool readOnly = argc > 1 && strcmp(argv[1], "--read-only") == 0;
    paste = argc > 1 && strcmp(argv[1], "--paste") == 0;
    if (readOnly || paste) {
        argv[1] = argv[0];
        ++argv;
        --argc;
    }
    if (argc < 4) {
        fprintf(stderr, "usage: %s [--read-only|--paste] TITLE TEXT CARET [ANCHOR]\n", argv[0]);
        return 2;
    }
    GtkWidget *window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), argv[1]);
    gtk_window_set_default_size(GTK_WINDOW(window), 640, 360);
    GtkWidget *view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), !readOnly);
    GtkTextBuffer *buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(view));
    gtk_text_buffer_set_text(buffer, argv[2], -1);
    GtkTextIter caret, anchor;
    gtk_text_buffer_get_iter_at_offset(buffer, &caret, atoi(argv[3]));
    if (argc > 4) {
        gtk_text_buffer_get_iter_at_offset(buffer, &anchor, atoi(argv[4]));
        gtk_text_buffer_select_range(buffer, &caret, &anchor);
    } else {
        gtk_text_buffer_place_cursor(buffer, &caret);
    }
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    gtk_widget_show_all(window);
    gtk_window_present(GTK_WINDOW(window));
    gtk_widget_grab_focus(view);
    g_timeout_add(20, report_ready, view);
    gtk_main();
    return 0;
}
