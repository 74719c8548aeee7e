#!/usr/bin/python3
"""Real documents printed on every path, judged by programs that are not ours.

corpus.py CASES PPD_DIR PREVIEW RASTERTOPELTRIN PDFTOPELTRIN [APP]

Makes the corpus once, in a temporary folder, from the committed sources with the programs that make
such documents (Chromium, librsvg, Ghostscript pdfwrite, qrencode, zint, pdftoppm); prints each case
of CASES (document, path, model, options, judges) through cupsfilter, a private cupsd's queue (a file
device), peltrin-printer-app or a driverless queue of the cupsd on it (a socket:// device: a listener
here on 127.0.0.1); draws the bytes with peltrin-preview; judges the printout against pdftoppm's
rendering at 203 dpi, scaled as the printer scales it (to the roll's width; paper reduction):
  words   tesseract reads in the printout, seen blurred by a dot (as an eye sees dithered dots), all but
          one in ten (at least one) of the words of 3 letters or more it reads in the reference with a
          confidence of 50 or more (the odd small word is lost to the dots)
  codes   zbarimg reads every code it reads in the reference, with the same payload
  fills   8 x 8 blocks where the reference is white (black) 3 dots around: no ink (all ink, black);
          an even gray, not reddish: some dots, neither none nor all; in two colors, red (red above
          green and blue by 150): all ink, red
  length  the ink is as long as the reference's content (darker than 200: lighter prints no dots),
          to 2 % and 8 rows
One line per case; exit status 1 when a case fails or a tool is missing.
"""
import os, queue, re, shutil, signal, socket, subprocess, sys, tempfile, threading, time
from concurrent.futures import ThreadPoolExecutor
from PIL import Image, ImageChops, ImageFilter

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CASES, PPDS, PREVIEW, *FILTERS = map(os.path.abspath, sys.argv[1:6])
APP = os.path.abspath(sys.argv[6]) if len(sys.argv) > 6 else None
W = tempfile.mkdtemp(prefix="corpus.")
os.chmod(W, 0o755)  # the scheduler's filters run as lp
ENV = dict(os.environ, HOME=W, TMPDIR=W, SNAP_COMMON=W, OMP_THREAD_LIMIT="1",
           ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")  # PAPPL 1.3 leaks at exit
CHROMIUM = ["chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-pdf-header-footer",
            "--disable-background-networking", "--disable-component-update", "--disable-sync", "--no-first-run",
            "--disable-quic"]


def run(*cmd, out=None, check=True):
    with open(out or os.devnull, "wb") as f:
        p = subprocess.run(cmd, stdout=f if out else subprocess.PIPE, stderr=subprocess.PIPE, env=ENV,
                           timeout=120, cwd=W)
    if check and p.returncode:
        raise RuntimeError(f"{' '.join(cmd)}: exit {p.returncode}: {p.stderr.decode(errors='replace')[-400:]}")
    return (p.stdout or b"").decode(errors="replace")


def gs(*args):
    run("gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", *args)


def make_corpus():
    here = f"{TOP}/tests/corpus"
    for f in ["samples/shop-receipt.html", "samples/shop.css"] + [f"tests/corpus/{f}" for f in os.listdir(here)]:
        shutil.copy(f"{TOP}/{f}", W)
    run("qrencode", "-s", "1", "-m", "4", "-v", "2", "-l", "L", "-o", "qr.png", "https://bakery.example/r/0042")
    run("zint", "-b", "20", "--notext", "--scale=0.5", "-d", "202612080042", "-o", "code128.png")
    gs("-sDEVICE=png16m", "-r72", "-g144x60", "-sOutputFile=photo.png", "photo.ps")
    pages = [f[:-5] for f in sorted(os.listdir(W)) if f.endswith(".html")]
    for i in range(0, len(pages), 2):  # Chromium two at a time, about a second each
        procs = {p: subprocess.Popen(CHROMIUM + [f"--user-data-dir={W}/chromium-{p}", f"--print-to-pdf={W}/{p}.pdf",
                                                 f"file://{W}/{p}.html"], stderr=subprocess.DEVNULL)
                 for p in pages[i:i + 2]}
        for p, proc in procs.items():
            if proc.wait(60) or not os.path.exists(f"{W}/{p}.pdf"):
                raise RuntimeError(f"Chromium did not print {p}.html")
    run("rsvg-convert", "-f", "pdf", "-o", "ticket.pdf", "ticket.svg")
    for space in ("gray", "rgb", "cmyk", "separation", "indexed"):
        gs("-sDEVICE=pdfwrite", f"-sSPACE={space}", f"-sOutputFile=colors-{space}.pdf", "colors.ps")
    for kind in ("-png", "-jpeg"):  # pictures and raster for the application
        run("pdftoppm", "-r", "203", kind, "-singlefile", "shop-receipt.pdf", "shop-receipt")
    for space, name in ((18, "shop-receipt.pwg"), (19, "shop-receipt.rgb.pwg")):  # 8-bit gray, sRGB
        gs("-sDEVICE=pwgraster", "-r203", "-dDEVICEWIDTH=576", "-dDEVICEHEIGHT=2373", "-dFIXEDMEDIA",
           f"-dcupsColorSpace={space}", "-dcupsBitsPerColor=8", f"-sOutputFile={name}", "shop-receipt.pdf")


def wait_for(ready, seconds=60):
    end = time.time() + seconds
    while not ready() and time.time() < end:
        time.sleep(0.1)
    return ready()


def port():
    with socket.create_server(("127.0.0.1", 0)) as s:
        return s.getsockname()[1]


class Printers:
    """The paths to the printer: cupsfilter, and a private cupsd and peltrin-printer-app on 127.0.0.1
    (started when first needed) whose printers are a listener here that takes each connection as a job."""
    def __init__(self):
        self.cupsd = self.app = None
        self.queues, self.jobs, self.sock = set(), queue.Queue(), socket.create_server(("127.0.0.1", 0))
        self.device = f"socket://127.0.0.1:{self.sock.getsockname()[1]}"
        threading.Thread(target=self.listen, daemon=True).start()
        bin = f"{W}/serverbin"  # the system's filters and ours: root-owned, not writable by others
        os.makedirs(f"{bin}/filter")
        for f in ["daemon", "backend", "notifier", "cgi-bin"] + [
                f"filter/{f}" for f in set(os.listdir("/usr/lib/cups/filter")) - {"rastertoPeltrin", "pdftoPeltrin"}]:
            os.symlink(f"/usr/lib/cups/{f}", f"{bin}/{f}")
        for f in FILTERS:
            shutil.copy(f, f"{bin}/filter/")
        with open(f"{W}/cups-files.conf", "w") as f:
            f.write(f"ServerBin {bin}\n" + "".join(f"{k} {W}/cups/{v}\n" for k, v in (
                ("ServerRoot", ""), ("RequestRoot", "spool"), ("TempDir", "tmp"), ("CacheDir", "cache"),
                ("StateDir", "run"), ("ErrorLog", "error_log"), ("AccessLog", "access_log"),
                ("PageLog", "page_log"), ("Printcap", "printcap"))) + "FileDevice Yes\n")

    def listen(self):
        while True:
            conn, _ = self.sock.accept()
            with conn:
                self.jobs.put(b"".join(iter(lambda: conn.recv(65536), b"")))

    def start(self, what):
        if what == "cupsd":
            self.host = f"127.0.0.1:{port()}"
            run("install", "-d", "-m", "1777", *(f"{W}/cups/{d}" for d in ("tmp", "cache", "run", "spool", "device")))
            with open(f"{W}/cups/cupsd.conf", "w") as f:
                f.write(f"Listen {self.host}\nBrowsing No\nWebInterface No\nLogLevel debug\nDefaultPolicy open\n"
                        "<Policy open>\n<Limit All>\nOrder allow,deny\nAllow 127.0.0.1\n</Limit>\n</Policy>\n")
            self.cupsd = subprocess.Popen(["cupsd", "-f", "-c", f"{W}/cups/cupsd.conf", "-s", f"{W}/cups-files.conf"],
                                          stdout=open(f"{W}/cupsd.out", "w"), stderr=subprocess.STDOUT)
            ready = lambda: run("lpstat", "-h", self.host, "-r", check=False) == "scheduler is running\n"
        else:
            self.port = port()
            # (Its printers' devices are on this machine: allowed, as the application test allows them.)
            self.app = subprocess.Popen([APP, "server", "-o", f"server-port={self.port}", "-o",
                                         "listen-hostname=127.0.0.1", "-o", "allow-local-devices=yes", "-o",
                                         "log-level=debug", "-o", f"log-file={W}/app.log", "-o",
                                         f"spool-directory={W}/app"], env=ENV, stdout=open(f"{W}/app.out", "w"),
                                        stderr=subprocess.STDOUT)
            ready = lambda: run(APP, "status", check=False).startswith("Running")
        if not wait_for(ready):
            raise RuntimeError(f"{what} did not start")

    def queue(self, path, model):
        name = f"{path}{model}"
        if name not in self.queues:
            if path in ("app", "driverless") and not self.app:
                self.start("app")
            if path in ("cups", "driverless") and not self.cupsd:
                self.start("cupsd")
            if path == "app":
                run(APP, "add", "-d", name, "-v", self.device, "-m", f"peltrin_{model:03d}")
            elif path == "cups":
                run("lpadmin", "-h", self.host, "-p", name, "-v", f"file:{W}/cups/device/{name}", "-P",
                    f"{PPDS}/peltrin-{model:03d}.ppd", "-E")
            else:
                uri = f"ipp://127.0.0.1:{self.port}/ipp/print/{self.queue('app', model)}"
                run("lpadmin", "-h", self.host, "-p", name, "-v", uri, "-m", "everywhere", "-E")
                # The scheduler makes the queue's PPD in the background; a job sent before goes another way.
                if not wait_for(lambda: os.path.exists(f"{W}/cups/ppd/{name}.ppd")):
                    raise RuntimeError("no PPD for the driverless queue")
            self.queues.add(name)
        return name

    def print(self, path, model, options, doc):
        """The printer bytes of one job."""
        opts = [a for o in options for a in ("-o", o)]
        if path == "ppd":
            run("cupsfilter", "-c", f"{W}/cups-files.conf", "-p", f"{PPDS}/peltrin-{model:03d}.ppd", "-m",
                "printer/peltrin", "-e", *opts, doc, out=f"{W}/job.bin")
            return open(f"{W}/job.bin", "rb").read()
        q = self.queue(path, model)
        device = f"{W}/cups/device/{q}"  # (a file: no network printer's status queries to wait for)
        os.path.exists(device) and os.remove(device)
        run(*((APP, "submit") if path == "app" else ("lp", "-h", self.host)), "-d", q, *opts, doc)
        if path == "cups":
            if not wait_for(lambda: not run("lpstat", "-h", self.host, "-o", q, check=False), 120):
                raise RuntimeError("the job did not end")
            return open(device, "rb").read()
        return self.jobs.get(timeout=120)  # queue.Empty: no job reached the printer

    def stop(self):
        """Stops the servers; the application must end as asked, not by a signal or an error."""
        # The scheduler first: its driverless queues poll the application.
        for p in filter(None, (self.cupsd, self.app)):
            if p is self.app:
                run(APP, "shutdown", check=False)
                # PAPPL's main loop sees the shutdown when it wakes: SIGTERM wakes it (PAPPL 1.3 ends on it as
                # asked; a connection to wake it could come while it deletes its system, which crashes it).
                wait_for(lambda: p.poll() is not None, 3) or p.send_signal(signal.SIGTERM)
                wait_for(lambda: p.poll() is not None, 20)
            p.poll() is None and p.terminate()
            p.wait(20)
        return self.app and self.app.returncode and f"peltrin-printer-app ended with {self.app.returncode}"


def words(picture, confidence=0):
    rows = [r.split("\t") for r in run("tesseract", picture, "-", "--psm", "6", "tsv").splitlines()[1:]]
    return {w.lower() for r in rows if len(r) == 12 and float(r[10]) >= confidence
            for w in re.findall(r"\w{3,}", r[11])}


def codes(picture):
    return set(run("zbarimg", "-q", "--raw", picture, check=False).split("\n")) - {""}


references, lock = {}, threading.Lock()


def reference(pdf, width, reduction):
    """pdftoppm's rendering at 203 dpi, at most `width` dots wide, reduced to `reduction` %: in 8-bit gray,
    and its redness (red above green and blue); and what tesseract and zbarimg read in it."""
    with lock:
        if (pdf, width, reduction) not in references:
            base = f"{pdf}-{width}-{reduction}"
            run("pdftoppm", "-r", "203", "-singlefile", "-png", pdf, base)
            rgb = Image.open(base + ".png").convert("RGB")
            if rgb.width > width or reduction < 100:
                w = min(width, rgb.width) * reduction // 100
                rgb = rgb.resize((w, rgb.height * w // rgb.width), Image.BILINEAR)
            r, g, b = rgb.split()
            rgb.convert("L").save(base + ".png")
            references[pdf, width, reduction] = (rgb.convert("L"), ImageChops.subtract(r, ImageChops.lighter(g, b)),
                                                 words(base + ".png", 50), codes(base + ".png"))
        return references[pdf, width, reduction]


def judge(case, picture):
    doc, path, model, options, wanted = case
    ppd = open(f"{PPDS}/peltrin-{model:03d}.ppd").read()
    reduction = [int(n) for o in options for n in re.findall(r"(?:PaperReduction=Custom\.|paper-reduction=)(\d+)", o)]
    ref, redness, ref_words, ref_codes = reference(re.sub(r"(\.rgb)?\.(png|jpg|pwg)$", ".pdf", f"{W}/{doc}"),
                                                   384 if "*DefaultPageSize: 58\n" in ppd else 576,
                                                   (reduction or [100])[0])
    # Black and red are ink (0), white and the blue cut marks not; red: 0 where the ink is red.
    r, g, b = Image.open(picture).convert("RGB").split()
    out = ImageChops.lighter(g, b).point(lambda v: 0 if v < 128 else 255)
    red = ImageChops.lighter(out, r.point(lambda v: 0 if v >= 128 else 255))
    out.save(f"{picture}.ink.png")
    out.filter(ImageFilter.GaussianBlur(1)).save(f"{picture}.seen.png")
    result, bad = {}, []
    for kind, read, want, lost in (("words", words, ref_words, max(1, len(ref_words) // 10)),
                                   ("codes", codes, ref_codes, 0)):
        if kind in wanted:
            got = read(f"{picture}.{'seen' if kind == 'words' else 'ink'}.png")
            result[kind] = f"{len(want & got)}/{len(want)}"
            if not want or len(want - got) > lost:
                bad.append(f"{kind} not read: {' '.join(sorted(want - got))}")
    rb, ob = ref.point(lambda v: 255 if v < 200 else 0).getbbox(), ImageChops.invert(out).getbbox()
    if not ob:
        return result, ["nothing printed"]
    if "length" in wanted:
        result["length"] = f"{ob[3] - ob[1]}/{rb[3] - rb[1]}"
        if abs(ob[3] - ob[1] - rb[3] + rb[1]) > (rb[3] - rb[1]) // 50 + 8:
            bad.append(f"{ob[3] - ob[1]} rows of ink for {rb[3] - rb[1]} rows of content")
    if "fills" in wanted:  # the printout placed on the reference by their contents' top left corners
        placed, placed_red = Image.new("L", ref.size, 255), Image.new("L", ref.size, 255)
        for on, what in ((placed, out), (placed_red, red)):
            on.paste(what, (rb[0] - ob[0], rb[1] - ob[1]))
        two = "ColorModel=0" in options or "print-color-mode=color" in options
        count = {"white": [0, 0], "black": [0, 0], "gray": [0, 0]} | ({"red": [0, 0]} if two else {})
        for y in range(3, ref.height - 11, 8):
            for x in range(3, ref.width - 11, 8):
                around, block = (x - 3, y - 3, x + 11, y + 11), (x, y, x + 8, y + 8)
                lo, hi = ref.crop(around).getextrema()
                kind = "red" if two and redness.crop(around).getextrema()[0] >= 150 else "white" if lo >= 235 else \
                    "black" if hi <= 40 else "gray" if lo >= 70 and hi <= min(200, lo + 24) and \
                    redness.crop(around).getextrema()[1] <= 32 else None
                if kind:
                    dots, reds = placed.crop(block).histogram()[0], placed_red.crop(block).histogram()[0]
                    count[kind][0] += 1
                    count[kind][1] += {"white": dots > 0, "black": dots < 48 or reds > 0, "gray": not 4 <= dots <= 60,
                                       "red": reds < 48}[kind]
        result["fills"] = " ".join(f"{k} {wrong}/{n}" for k, (n, wrong) in count.items())
        for kind, (n, wrong) in count.items():
            if wrong > n // {"white": 200, "black": 50, "gray": 20, "red": 50}[kind]:
                bad.append(f"{wrong} of {n} {kind} blocks print {'ink' if kind == 'white' else 'wrong'}")
    return result, bad


def main():
    cases = [(f[0], f[1], int(f[2]), [] if f[3] == "-" else f[3].split(","), f[4].split(","))
             for f in (line.split("#")[0].split() for line in open(CASES)) if f]
    app = APP or ("peltrin-printer-app (built with libpappl-dev)" if any(c[1] in ("app", "driverless") for c in cases)
                  else "gs")
    for tool in ("chromium", "tesseract", "zbarimg", "qrencode", "zint", "rsvg-convert", "pdftoppm", "gs",
                 "cupsfilter", "cupsd", "lpadmin", "ipptool", app):
        if not shutil.which(tool):
            return print(f"FAIL: {tool} is not installed (scripts/setup.sh installs what it needs)") or os.rmdir(W) or 1
    begin = time.time()
    make_corpus()
    made, failed, judged = time.time(), 0, []
    print(f"corpus made in {made - begin:.1f} s in {W}", flush=True)
    printers, pool = Printers(), ThreadPoolExecutor(2)
    try:
        for n, case in enumerate(cases):
            try:
                open(f"{W}/{n}.bin", "wb").write(printers.print(*case[1:4], f"{W}/{case[0]}"))
                run(PREVIEW, "-o", f"{W}/{n}.png", f"{W}/{n}.bin")
                judged.append((case, pool.submit(judge, case, f"{W}/{n}.png")))
            except (OSError, RuntimeError, subprocess.TimeoutExpired, queue.Empty) as e:
                judged.append((case, None))
                print(f"FAIL {case[0]} {case[1]} {case[2]} {','.join(case[3]) or '-'}: {e}", flush=True)
        for (doc, path, model, options, _), job in judged:
            result, bad = job.result() if job else ({}, ["not printed"])
            failed += bool(bad)
            print(f"{'FAIL' if bad else 'ok  '} {doc:21} {path:10} {model:3} {','.join(options) or '-':24} "
                  + " ".join(f"{k} {v}" for k, v in result.items()) + "".join(f"\n     {b}" for b in bad), flush=True)
    finally:
        ended = printers.stop()
    failed += bool(ended) and not print(f"FAIL {ended} (its output: {W}/app.out)")
    print(f"{len(cases)} cases, {failed} failed; corpus {made - begin:.1f} s, in all {time.time() - begin:.1f} s")
    failed or shutil.rmtree(W, ignore_errors=True)
    return 1 if failed else 0


sys.exit(main())
