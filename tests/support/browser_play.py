#!/usr/bin/env python3
"""Plays a video file to its end in a real browser and prints what the browser saw.

    browser_play.py FILE [--timeout SECONDS] [--rate PLAYBACK_RATE] [--browser PROGRAM]
                         [--pixel X,Y]

Serves FILE on 127.0.0.1 (with byte ranges, as a web server does), opens a page with a <video>
in headless Chromium, plays it to the end and decodes its sound once more through WebAudio.
With --pixel, the first picture's colour at X,Y as the browser shows it (pixel=R,G,B: the
stream's colour description applied). The page posts its verdict back; this prints it as
key=value lines (stdout) and exits 0 when
the file played (canPlayType, readyState 4, played to its end without an error, sound decoded),
1 when it did not, 2 when the browser could not be run. Every wait is bounded; the browser is
killed by its process group and its profile (a temporary folder) removed.

When ORVIK_BROWSER_DEVTOOLS names a running browser's DevTools address (the test suite starts
one for the whole run), the page opens as a tab of that browser and the tab is closed after;
a browser of its own is the fallback when that one does not answer.
"""

import argparse
import http.server
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request

PAGE = """<!doctype html><meta charset="utf-8"><title>play</title>
<video id="v" preload="auto" playsinline></video>
<script>
const v = document.getElementById('v');
const facts = {error: ''};
let sent = false;
function send() {
  if (sent) return;
  sent = true;
  facts.currentTime = v.currentTime;
  facts.ended = v.ended;
  facts.readyStateNow = v.readyState;
  if (v.getVideoPlaybackQuality) {
    const q = v.getVideoPlaybackQuality();
    facts.totalVideoFrames = q.totalVideoFrames;
    facts.droppedVideoFrames = q.droppedVideoFrames;
  }
  facts.videoDecodedBytes = v.webkitVideoDecodedByteCount || 0;
  facts.audioDecodedBytes = v.webkitAudioDecodedByteCount || 0;
  fetch('/verdict', {method: 'POST', body: JSON.stringify(facts)});
}
facts.canPlayType = v.canPlayType('video/mp4; codecs="avc1.42E01E, mp4a.40.2"');
facts.maxReadyState = 0;
facts.presentedFrames = 0;
facts.lastFrameTime = -1;
function frame(now, meta) {
  facts.presentedFrames++;
  facts.lastFrameTime = meta.mediaTime;
  v.requestVideoFrameCallback(frame);
}
if (v.requestVideoFrameCallback) v.requestVideoFrameCallback(frame);
for (const e of ['loadedmetadata', 'loadeddata', 'canplay', 'canplaythrough', 'playing',
                 'timeupdate', 'progress'])
  v.addEventListener(e, () => { facts.maxReadyState = Math.max(facts.maxReadyState, v.readyState); });
const PIXEL = PIXEL_AT;
v.addEventListener('loadeddata', () => {
  if (!PIXEL || facts.pixel) return;
  const c = document.createElement('canvas');
  c.width = v.videoWidth;
  c.height = v.videoHeight;
  const g = c.getContext('2d');
  g.drawImage(v, 0, 0);
  facts.pixel = Array.from(g.getImageData(PIXEL[0], PIXEL[1], 1, 1).data.slice(0, 3)).join(',');
});
v.addEventListener('loadedmetadata', () => {
  facts.duration = v.duration;
  facts.videoWidth = v.videoWidth;
  facts.videoHeight = v.videoHeight;
  v.playbackRate = RATE;
  v.play().catch(e => { facts.error = 'play: ' + e; send(); });
});
v.addEventListener('ended', () => { facts.endedEvent = true; audioDone.then(send); });
v.addEventListener('error', () => {
  facts.error = 'media error ' + v.error.code + ': ' + v.error.message;
  audioDone.then(send);
});
// The sound once more, decoded whole: its length and whether it is silent.
const audioDone = fetch('/media').then(r => r.arrayBuffer())
  .then(b => new OfflineAudioContext(2, 48000, 48000).decodeAudioData(b))
  .then(a => {
    facts.audioDuration = a.duration;
    facts.audioChannels = a.numberOfChannels;
    let peak = 0;
    const s = a.getChannelData(0);
    for (let i = 0; i < s.length; ++i) peak = Math.max(peak, Math.abs(s[i]));
    facts.audioPeak = peak;
  })
  .catch(e => { facts.audioError = String(e); });
setTimeout(() => { facts.error = facts.error || 'stalled'; send(); }, STALL_MS);
v.src = '/media';
</script>
"""


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, media, page):
        super().__init__(('127.0.0.1', 0), Handler)
        self.media = media
        self.page = page.encode()
        self.verdict = None
        self.answered = threading.Event()


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if self.path == '/':
            self.reply(200, 'text/html', self.server.page)
        elif self.path == '/media':
            self.send_media()
        else:
            self.reply(404, 'text/plain', b'')

    def do_POST(self):
        length = int(self.headers.get('Content-Length', '0'))
        body = self.rfile.read(length)
        self.reply(200, 'text/plain', b'')
        if self.path == '/verdict' and not self.server.answered.is_set():
            try:
                self.server.verdict = json.loads(body)
            except ValueError:
                self.server.verdict = {'error': 'unreadable verdict'}
            self.server.answered.set()

    def reply(self, code, kind, body):
        self.send_response(code)
        self.send_header('Content-Type', kind)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    # Byte ranges, as a browser asks for them to read a file's index at its end.
    def send_media(self):
        size = os.path.getsize(self.server.media)
        first, last, code = 0, size - 1, 200
        wanted = self.headers.get('Range', '')
        if wanted.startswith('bytes='):
            start, _, end = wanted[6:].split(',')[0].partition('-')
            if start:
                first = int(start)
                last = min(int(end), size - 1) if end else size - 1
            elif end:
                first = max(size - int(end), 0)
            if first >= size or first > last:
                self.send_response(416)
                self.send_header('Content-Range', 'bytes */%d' % size)
                self.end_headers()
                return
            code = 206
        self.send_response(code)
        self.send_header('Content-Type', 'video/mp4')
        self.send_header('Accept-Ranges', 'bytes')
        self.send_header('Content-Length', str(last - first + 1))
        if code == 206:
            self.send_header('Content-Range', 'bytes %d-%d/%d' % (first, last, size))
        self.end_headers()
        try:
            with open(self.server.media, 'rb') as f:
                f.seek(first)
                left = last - first + 1
                while left > 0:
                    chunk = f.read(min(left, 1 << 16))
                    if not chunk:
                        break
                    self.wfile.write(chunk)
                    left -= len(chunk)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the browser has what it wanted


def played(v):
    """Whether the verdict shows a file that played to its end, sound and picture."""
    duration = v.get('duration') or 0
    return (v.get('canPlayType') in ('probably', 'maybe') and v.get('maxReadyState') == 4
            and not v.get('error') and v.get('endedEvent') is True and duration > 0
            and abs(v.get('currentTime', 0) - duration) < 0.05 and v.get('videoWidth', 0) > 0
            and v.get('audioDecodedBytes', 0) > 0 and v.get('audioPeak', 0) > 0)


# The flags of every browser this plays in, its own or the suite's (scripts/lanes.sh names the
# same): tabs play at once and in full, whether or not they are in front.
BROWSER_FLAGS = ['--headless=new', '--autoplay-policy=no-user-gesture-required', '--no-sandbox',
                 '--no-first-run', '--no-default-browser-check', '--disable-gpu',
                 '--disable-extensions', '--disable-background-networking', '--disable-sync',
                 '--disable-background-timer-throttling', '--disable-renderer-backgrounding',
                 '--disable-backgrounding-occluded-windows',
                 '--disable-features=BackgroundVideoTrackOptimization']


def run_browser(browser, url, profile):
    command = [browser] + BROWSER_FLAGS + ['--user-data-dir=' + profile, url]
    return subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)


def end_browser(process):
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    try:
        process.wait(timeout=10)
    except subprocess.TimeoutExpired:
        pass
    # Its helpers (renderer, GPU, zygote) share the group: wait until the last has gone.
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        try:
            os.killpg(process.pid, 0)
        except ProcessLookupError:
            return
        time.sleep(0.05)


def devtools(address, what, method='GET'):
    request = urllib.request.Request(address.rstrip('/') + what, method=method)
    with urllib.request.urlopen(request, timeout=10) as answer:
        return answer.read()


def open_tab(address, url):
    """The id of a new tab showing `url` in the shared browser, or None when it did not answer."""
    try:
        target = json.loads(devtools(address, '/json/new?' + urllib.parse.quote(url, safe=''),
                                     'PUT'))
        return target['id']
    except (OSError, ValueError, KeyError):
        return None


def close_tab(address, tab):
    try:
        devtools(address, '/json/close/' + tab)
    except OSError:
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('file')
    parser.add_argument('--timeout', type=float, default=60, help='seconds for the whole check')
    parser.add_argument('--rate', type=float, default=1, help='playback rate')
    parser.add_argument('--browser', default='chromium')
    parser.add_argument('--pixel', default='', help='X,Y of a pixel of the first picture')
    args = parser.parse_args()
    if not os.path.isfile(args.file):
        print('error=no such file: ' + args.file)
        return 2
    if shutil.which(args.browser) is None:
        print('error=%s is not installed (Debian package chromium)' % args.browser)
        return 2

    started = time.monotonic()
    # The page gives up a little before this tool does, so a stalled player still reports.
    stall_ms = int(max(args.timeout - 5, args.timeout * 0.8) * 1000)
    pixel = '[%d, %d]' % tuple(int(n) for n in args.pixel.split(',')) if args.pixel else 'null'
    page = (PAGE.replace('RATE', repr(args.rate)).replace('STALL_MS', str(stall_ms))
            .replace('PIXEL_AT', pixel))
    server = Server(args.file, page)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = 'http://127.0.0.1:%d/' % server.server_port
    shared = os.environ.get('ORVIK_BROWSER_DEVTOOLS', '')
    tab = open_tab(shared, url) if shared else None
    profile = None if tab else tempfile.mkdtemp(prefix='orvik-browser-')
    browser = None
    try:
        if profile:
            browser = run_browser(args.browser, url, profile)
        if not server.answered.wait(args.timeout):
            server.verdict = {'error': 'no verdict within %g s' % args.timeout}
    finally:
        if tab:
            close_tab(shared, tab)
        if browser is not None:
            end_browser(browser)
        server.shutdown()
        server.server_close()
        if profile:
            shutil.rmtree(profile, ignore_errors=True)
    verdict = server.verdict
    verdict['sharedBrowser'] = tab is not None
    verdict['played'] = played(verdict)
    verdict['seconds'] = round(time.monotonic() - started, 3)
    for key in sorted(verdict):
        value = verdict[key]
        if isinstance(value, bool):
            value = int(value)
        print('%s=%s' % (key, str(value).replace('\n', ' ')))
    return 0 if verdict['played'] else 1


if __name__ == '__main__':
    sys.exit(main())
