"""Cases of bench/safe-html: make the documents, add the test harness to the
cleaned pages, check what the browser made of them."""
import html
import html.parser
import os
import re
import sys
import zipfile

PAYLOAD = "top.document.title=1337"
ESCAPES = {"\\t": "\t", "\\n": "\n", "\\r": "\r", "\\0": "\0", "\\x0e": "\x0e"}


def vectors(path):
    out = []
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        kind, text = line.split("\t", 1)
        for k, v in ESCAPES.items():
            text = text.replace(k, v)
        out.append((kind, re.sub(r"\bP\b", PAYLOAD, text)))
    return out


WORD_PAGE = """<html xmlns:v="urn:schemas-microsoft-com:vml" xmlns:o="urn:schemas-microsoft-com:office:office"
xmlns:w="urn:schemas-microsoft-com:office:word" xmlns="http://www.w3.org/TR/REC-html40">
<head>
<meta http-equiv=Content-Type content="text/html; charset=windows-1252">
<meta name=Generator content="Microsoft Word 11">
<title>Vector {n}</title>
<style>
<!--
p.MsoNormal {{margin:0cm; font-size:12.0pt;}}
-->
</style>
</head>
<body lang=EN-US style='tab-interval:36.0pt'>
<div class=Section1>
<p class=MsoNormal>Before<o:p></o:p></p>
{vector}
<p class=MsoNormal>After<o:p></o:p></p>
</div>
</body>
</html>
"""


def rtf(links):
    def esc(s):
        return s.replace("\\", "\\\\").replace("{", "\\{").replace("}", "\\}")
    parts = []
    for k, url in enumerate(links):
        if url.startswith("#"):
            inst = 'HYPERLINK \\\\l "%s"' % esc(url[1:])
        else:
            inst = 'HYPERLINK "%s"' % esc(url)
        parts.append("{\\field{\\*\\fldinst %s}{\\fldrslt link %d}} text " % (inst, k))
    return "{\\rtf1\\ansi {\\*\\bkmkstart x}{\\*\\bkmkend x}" + "".join(parts) + "\\par}"


def docx(links):
    x = lambda s: html.escape(s, quote=True)
    rels, runs = [], []
    for k, url in enumerate(links):
        if url.startswith("#"):
            runs.append('<w:hyperlink w:anchor="%s"><w:r><w:t>link %d</w:t></w:r></w:hyperlink>' % (x(url[1:]), k))
        else:
            rels.append('<Relationship Id="l%d" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
                        'relationships/hyperlink" Target="%s" TargetMode="External"/>' % (k, x(url)))
            runs.append('<w:hyperlink r:id="l%d"><w:r><w:t>link %d</w:t></w:r></w:hyperlink>' % (k, k))
        runs.append('<w:r><w:t xml:space="preserve"> text </w:t></w:r>')
    body = ('<?xml version="1.0" encoding="UTF-8"?><w:document xmlns:w="http://schemas.openxmlformats.org/'
            'wordprocessingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/'
            'relationships"><w:body><w:p><w:bookmarkStart w:id="0" w:name="x"/><w:bookmarkEnd w:id="0"/>'
            + "".join(runs) + "</w:p></w:body></w:document>")
    parts = {
        "[Content_Types].xml": '<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/'
        'content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.'
        'relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName='
        '"/word/document.xml" ContentType="application/vnd.openxmlformats-officedocument.wordprocessingml.'
        'document.main+xml"/></Types>',
        "_rels/.rels": '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/'
        'relationships"><Relationship Id="r1" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
        'relationships/officeDocument" Target="word/document.xml"/></Relationships>',
        "word/_rels/document.xml.rels": '<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.'
        'org/package/2006/relationships">' + "".join(rels) + "</Relationships>",
        "word/document.xml": body,
    }
    return parts


def odt(links):
    x = lambda s: html.escape(s, quote=True)
    runs = "".join('<text:a xlink:type="simple" xlink:href="%s">link %d</text:a> text ' % (x(u), k)
                   for k, u in enumerate(links))
    content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content xmlns:office="urn:oasis:names:tc:'
               'opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
               'xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.2"><office:body><office:text>'
               '<text:p><text:bookmark text:name="x"/>' + runs + "</text:p></office:text></office:body>"
               "</office:document-content>")
    manifest = ('<?xml version="1.0" encoding="UTF-8"?><manifest:manifest xmlns:manifest="urn:oasis:names:tc:'
                'opendocument:xmlns:manifest:1.0"><manifest:file-entry manifest:full-path="/" manifest:media-type='
                '"application/vnd.oasis.opendocument.text"/><manifest:file-entry manifest:full-path="content.xml" '
                'manifest:media-type="text/xml"/></manifest:manifest>')
    return {"mimetype": "application/vnd.oasis.opendocument.text", "META-INF/manifest.xml": manifest,
            "content.xml": content}


def write_zip(path, parts):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in parts.items():
            z.writestr(zipfile.ZipInfo(name), data.encode("utf-8"),
                       zipfile.ZIP_STORED if name == "mimetype" else zipfile.ZIP_DEFLATED)


def cases(vector_file):
    """(stem, kind, vector) for every document made."""
    out = []
    for n, (kind, text) in enumerate(vectors(vector_file), 1):
        if kind == "page":
            out.append(("p%03d" % n, "page", text))
        else:
            for fmt in ("rtf", "docx", "odt"):
                out.append(("l%03d-%s" % (n, fmt), fmt, text))
    return out


def make(vector_file, folder):
    for stem, kind, text in cases(vector_file):
        if kind == "page":
            data = WORD_PAGE.format(n=stem, vector=text).replace("\n", "\r\n").encode("cp1252", "replace")
            open(os.path.join(folder, stem + ".htm"), "wb").write(data)
            continue
        links = [s.strip(" ") if s.strip(" ") else s for s in text.split(" | ")] if " | " in text else [text]
        path = os.path.join(folder, stem + "." + kind)
        if kind == "rtf":
            open(path, "w", encoding="latin-1", errors="replace").write(rtf(links))
        elif kind == "docx":
            write_zip(path, docx(links))
        else:
            write_zip(path, odt(links))


HARNESS = """<script id="nx-harness">
document.documentElement.setAttribute("data-harness", "loaded");
addEventListener("load", function () {
  document.addEventListener("click", function (e) {
    var a = e.target.closest && e.target.closest("a[href],area[href]");
    if (a && !/^(javascript|vbscript):$/.test(a.protocol)) e.preventDefault();
  }, true);
  var events = ["mouseover", "mouseenter", "mousemove", "mousedown", "mouseup", "click", "dblclick", "focus",
                "focusin", "blur", "pointerover", "pointerenter", "pointerdown", "keydown", "input", "change",
                "submit", "toggle", "load", "error", "begin", "start", "animationstart", "scroll", "contextmenu"];
  Array.prototype.slice.call(document.querySelectorAll("*")).forEach(function (el) {
    if (el.id === "nx-harness") return;
    events.forEach(function (t) { try { el.dispatchEvent(new Event(t)); } catch (x) {} });
    try { el.focus(); } catch (x) {}
  });
  document.querySelectorAll("a[href],area[href]").forEach(function (a) {
    if (/^(javascript|vbscript):$/.test(a.protocol)) { try { a.click(); } catch (x) {} }
  });
  setTimeout(function () { document.documentElement.setAttribute("data-harness", "ran"); }, 500);
});
</script>
"""


def harness(folder):
    for name in os.listdir(folder):
        path = os.path.join(folder, name)
        if not name.endswith((".htm", ".html")) or not os.path.isfile(path):
            continue
        page = open(path, "rb").read()
        at = page.lower().rfind(b"</body>")
        at = len(page) if at < 0 else at
        open(path, "wb").write(page[:at] + HARNESS.encode() + page[at:])


DROPPED = {"script", "style", "iframe", "frame", "frameset", "object", "embed", "applet", "base", "template",
           "noscript", "input", "button", "select", "textarea", "form", "keygen", "link", "foreignobject", "use",
           "animate", "set", "isindex", "bgsound"}
URL_ATTRS = {"href", "src", "action", "formaction", "background", "cite", "poster", "data", "xlink:href", "dynsrc",
             "lowsrc", "codebase", "srcdoc"}


class DomCheck(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.faults, self.title, self.in_title, self.harness = [], None, False, None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "script" and a.get("id") == "nx-harness":
            return
        if tag == "html":
            self.harness = a.get("data-harness")
        if tag == "title":
            self.in_title = True
        if tag in DROPPED or (tag == "meta" and (a.get("http-equiv") or "").strip().lower() == "refresh"):
            self.faults.append("element <%s>" % tag)
        for name, value in attrs:
            value = value or ""
            if name.startswith("on"):
                self.faults.append("attribute %s on <%s>" % (name, tag))
            if name == "srcdoc" or name == "formaction":
                self.faults.append("attribute %s" % name)
            if name in URL_ATTRS:
                url = re.sub(r"[\x00-\x20]", "", value).lower()
                if url.startswith(("javascript:", "vbscript:")) or (
                        url.startswith("data:") and not (tag == "img" and name == "src" and
                                                         re.match(r"data:image/(png|jpeg|gif|webp)[;,]", url))):
                    self.faults.append("%s=%s on <%s>" % (name, value[:40], tag))

    def handle_endtag(self, tag):
        if tag == "title":
            self.in_title = False

    def handle_data(self, data):
        if self.in_title:
            self.title = (self.title or "") + data


def check(vector_file, in_folder, out_folder, dom_folder):
    outputs = os.listdir(out_folder)
    tried = passed = 0
    by_kind = {}
    failures, refused = [], []
    for stem, kind, text in cases(vector_file):
        made = [o for o in outputs if o.startswith(stem + ".") and o.endswith((".htm", ".html"))]
        tried += 1
        k = by_kind.setdefault(kind, [0, 0, 0])
        k[0] += 1
        if not made:
            # The row failed: no page, nothing to run.
            k[2] += 1
            passed += 1
            k[1] += 1
            refused.append(stem)
            continue
        dom_path = os.path.join(dom_folder, made[0] + ".dom")
        dom = open(dom_path, encoding="utf-8", errors="replace").read() if os.path.exists(dom_path) else ""
        c = DomCheck()
        c.feed(dom)
        faults = list(c.faults)
        if not dom:
            faults.append("the browser gave no DOM")
        else:
            if (c.title or "").strip() == "1337":
                faults.append("the payload ran")
            if c.harness != "ran":
                faults.append("the page was replaced or the harness did not run (%s)" % c.harness)
        if faults:
            failures.append((stem, "; ".join(faults), text))
        else:
            passed += 1
            k[1] += 1
    print("vectors tried: %d documents (%s)" % (tried, ", ".join(
        "%s %d" % (kind, v[0]) for kind, v in by_kind.items())))
    print("passed: %d of %d (%s)" % (passed, tried, ", ".join(
        "%s %d/%d" % (kind, v[1], v[0]) for kind, v in by_kind.items())))
    if refused:
        print("  of these, refused by the converter (no page made): %s" % ", ".join(refused))
    for stem, why, text in failures:
        print("  %s: %s  [%r]" % (stem, why, text[:80]))
    return 0 if passed == tried else 1


def control(vector_file, dom_folder):
    """What the raw pages did in the browser: the vectors that ran there."""
    ran = total = 0
    for stem, kind, text in cases(vector_file):
        if kind != "page":
            continue
        total += 1
        path = os.path.join(dom_folder, stem + ".htm.dom")
        dom = open(path, encoding="utf-8", errors="replace").read() if os.path.exists(path) else ""
        c = DomCheck()
        c.feed(dom)
        if (c.title or "").strip() == "1337" or c.harness != "ran":
            ran += 1
    print("control: %d of %d page vectors ran or replaced the page when loaded uncleaned" % (ran, total))


if __name__ == "__main__":
    cmd = sys.argv[1]
    if cmd == "make":
        make(sys.argv[2], sys.argv[3])
    elif cmd == "harness":
        harness(sys.argv[2])
    elif cmd == "control":
        control(sys.argv[2], sys.argv[3])
    else:
        sys.exit(check(*sys.argv[2:6]))
