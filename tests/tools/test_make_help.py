#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The help page generator on a small guide: table, lists, code, emphasis, links, anchors."""

import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

TOOL = Path(__file__).resolve().parents[2] / "tools/help/make_help.py"
GUIDE = """# <a id="help-1"></a>Guide & more

Some *em* and **strong
across a line**, `a<b>` and [docs](other.md) or [web](https://example.org/x).

| key | what |
|---|:--|
| `F1` | help \\| here |

1. <a id="help-2"></a>first
   goes on
2. second

```
<raw> & code
```
![pic](pic.png)
"""


class MakeHelp(unittest.TestCase):
    def run_tool(self, *required):
        folder = Path(tempfile.mkdtemp())
        (folder / "guide.md").write_text(GUIDE, encoding="utf-8")
        (folder / "pic.png").write_bytes(b"PNG!")
        out = folder / "out/help.html"
        args = [x for anchor in required for x in ("--require-anchor", anchor)]
        done = subprocess.run([sys.executable, TOOL, folder / "guide.md", out, *args],
                              capture_output=True, text=True)
        return done, out.read_text(encoding="utf-8") if out.exists() else ""

    def test_page(self):
        done, page = self.run_tool("help-1", "help-2")
        self.assertEqual(done.returncode, 0, done.stderr)
        for part in ['<h1 id="guide--more"><a id="help-1"></a>Guide &amp; more</h1>',
                     "<em>em</em>", "<strong>strong\nacross a line</strong>",
                     "<code>a&lt;b&gt;</code>", " docs or ",
                     '<a href="https://example.org/x">web</a>',
                     "<tr><th>key</th><th>what</th></tr>",
                     "<tr><td><code>F1</code></td><td>help | here</td></tr>",
                     '<ol>\n<li><a id="help-2"></a>first\ngoes on</li>\n<li>second</li>\n</ol>',
                     "<pre><code>&lt;raw&gt; &amp; code</code></pre>",
                     '<img alt="pic" src="data:image/png;base64,UE5HIQ==">']:
            self.assertIn(part, page)

    def test_missing_anchor_fails_and_writes_nothing(self):
        done, page = self.run_tool("help-1", "help-3")
        self.assertEqual((done.returncode, page), (1, ""))
        self.assertIn("help-3", done.stderr)


if __name__ == "__main__":
    unittest.main()
