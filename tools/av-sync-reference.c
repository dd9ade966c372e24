// The av-sync reference: a player whose pictures and sound meet by construction, to measure what
// the recorder itself adds. Once a second it starts a 1 kHz beep in its sound and turns its window
// white at the moment PulseAudio says that beep will be heard, then grey again a frame later.
// What av-sync measures for it is the recording's own offset, which is in every player's figure.
//
//   av-sync-reference X Y WIDTH HEIGHT SECONDS [TONE_HZ]
//
// With a tone other than the clips' 1 kHz it can run beside a player, in a small square on top
// of the player's picture, so that one recording holds both and its own offset can be taken
// out of the player's.
// Built by tools/av-sync with cc (libX11, libpulse-simple).
#include <X11/Xlib.h>
#include <math.h>
#include <pthread.h>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

enum
{
    kRate = 48000,
    kChunk = kRate / 200, // 5 ms a write
    kBeepMs = 100,
    kFlashMs = 33,
};

static int64_t NowUs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000000 + ts.tv_nsec / 1000;
}

static void SleepUntil(int64_t us)
{
    struct timespec ts = {(time_t)(us / 1000000), (long)(us % 1000000) * 1000};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, NULL) != 0) {
    }
}

// The flashes the sound side asks for, as monotonic times; the window thread shows them.
static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t g_wake = PTHREAD_COND_INITIALIZER;
static int64_t g_flashAt = 0;
static int g_done = 0;

struct Canvas
{
    Display *display;
    Window window;
    GC gc;
    unsigned long grey, white;
    int width, height;
};

static void Fill(struct Canvas *w, unsigned long colour)
{
    XSetForeground(w->display, w->gc, colour);
    XFillRectangle(w->display, w->window, w->gc, 0, 0, (unsigned)w->width, (unsigned)w->height);
    XSync(w->display, False);
}

static void *ShowFlashes(void *argument)
{
    struct Canvas *w = argument;
    pthread_mutex_lock(&g_lock);
    for (;;) {
        while (!g_done && g_flashAt == 0)
            pthread_cond_wait(&g_wake, &g_lock);
        if (g_done)
            break;
        const int64_t at = g_flashAt;
        g_flashAt = 0;
        pthread_mutex_unlock(&g_lock);
        SleepUntil(at);
        // A player's window may have come up over the square since the last flash.
        XRaiseWindow(w->display, w->window);
        Fill(w, w->white);
        SleepUntil(at + kFlashMs * 1000);
        Fill(w, w->grey);
        pthread_mutex_lock(&g_lock);
    }
    pthread_mutex_unlock(&g_lock);
    return NULL;
}

int main(int argc, char **argv)
{
    if (argc != 6 && argc != 7) {
        fprintf(stderr, "usage: av-sync-reference X Y WIDTH HEIGHT SECONDS [TONE_HZ]\n");
        return 2;
    }
    XInitThreads();
    struct Canvas w = {0};
    w.display = XOpenDisplay(NULL);
    if (!w.display) {
        fprintf(stderr, "av-sync-reference: no display\n");
        return 1;
    }
    w.width = atoi(argv[3]);
    w.height = atoi(argv[4]);
    const int seconds = atoi(argv[5]);
    const double tone = argc == 7 ? atof(argv[6]) : 1000.0;
    const int screen = DefaultScreen(w.display);
    XSetWindowAttributes attributes = {0};
    attributes.override_redirect = True;
    w.window = XCreateWindow(w.display, RootWindow(w.display, screen), atoi(argv[1]), atoi(argv[2]),
                             (unsigned)w.width, (unsigned)w.height, 0, CopyFromParent, InputOutput,
                             CopyFromParent, CWOverrideRedirect, &attributes);
    XStoreName(w.display, w.window, "av-sync-reference");
    w.gc = XCreateGC(w.display, w.window, 0, NULL);
    w.grey = 0x202020;
    w.white = 0xFFFFFF;
    XMapRaised(w.display, w.window);
    Fill(&w, w.grey);

    const pa_sample_spec spec = {PA_SAMPLE_S16LE, kRate, 1};
    // A short server buffer, as a player asking for low latency would.
    const pa_buffer_attr buffer = {(uint32_t)-1, kChunk * 2 * 4, (uint32_t)-1, (uint32_t)-1,
                                   (uint32_t)-1};
    int error = 0;
    pa_simple *sound = pa_simple_new(NULL, "av-sync-reference", PA_STREAM_PLAYBACK, NULL, "beeps",
                                     &spec, NULL, &buffer, &error);
    if (!sound) {
        fprintf(stderr, "av-sync-reference: %s\n", pa_strerror(error));
        return 1;
    }
    pthread_t shower;
    pthread_create(&shower, NULL, ShowFlashes, &w);

    int16_t chunk[kChunk];
    const int64_t total = (int64_t)seconds * kRate;
    const int64_t beepLength = kRate * kBeepMs / 1000;
    for (int64_t written = 0; written < total; written += kChunk) {
        // Beeps start half a second into each second.
        int beepStart = -1;
        for (int i = 0; i < kChunk; ++i) {
            const int64_t inSecond = (written + i) % kRate - kRate / 2;
            if (inSecond == 0)
                beepStart = i;
            chunk[i] = inSecond >= 0 && inSecond < beepLength
                           ? (int16_t)(12000 * sin(2 * M_PI * tone * (double)inSecond / kRate))
                           : 0;
        }
        if (beepStart >= 0) {
            // Everything written so far is heard within the reported latency; this chunk's
            // beep starts beepStart samples after that.
            const pa_usec_t latency = pa_simple_get_latency(sound, &error);
            const int64_t at = NowUs() + (int64_t)latency + (int64_t)beepStart * 1000000 / kRate;
            pthread_mutex_lock(&g_lock);
            g_flashAt = at;
            pthread_cond_signal(&g_wake);
            pthread_mutex_unlock(&g_lock);
        }
        if (pa_simple_write(sound, chunk, sizeof chunk, &error) < 0) {
            fprintf(stderr, "av-sync-reference: %s\n", pa_strerror(error));
            break;
        }
    }
    pa_simple_drain(sound, &error);
    pthread_mutex_lock(&g_lock);
    g_done = 1;
    pthread_cond_signal(&g_wake);
    pthread_mutex_unlock(&g_lock);
    pthread_join(shower, NULL);
    pa_simple_free(sound);
    XCloseDisplay(w.display);
    return 0;
}
