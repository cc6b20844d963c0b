#!/usr/bin/env python3
"""plain_text_check.py QML_DIR: fails when a QML element that shows text may show rich text.

Qt Quick guesses rich text from the text itself (AutoText): a name such as
'<img src="http://…">' would make the window fetch a URL. Every Text and Label says
`textFormat: Text.PlainText` unless its text is fixed, including those whose text is set
from outside (through an alias or by their parent). Qt's controls (buttons, delegates) show
their text through a label of their own whose format cannot be set: they may show fixed
texts only, or have a contentItem of their own. A fixed text is a string literal or qsTr()
of one, with .arg() of a plain expression at most; anything else known to be fixed goes
into ALLOWED with the reason. Components defined in QML_DIR are checked in their own file.
"""
import os
import re
import sys

# Elements whose text property Qt renders with AutoText unless told otherwise.
FORMATTED = {"Text", "Label"}
# Controls whose own label cannot be made plain: only fixed text, or a contentItem.
CONTROLS = {"Button", "ItemDelegate", "CheckBox", "RadioButton", "MenuItem", "TabButton", "ToolButton",
            "Switch", "RoundButton", "SwipeDelegate", "CheckDelegate", "RadioDelegate", "SwitchDelegate",
            "ToolTip", "Action", "DelayButton", "GroupBox", "Dialog", "Page"}
TEXT_PROPERTIES = ("text", "title")

# (file, expression): texts made only from the program's own words and numbers.
ALLOWED = {
}

FIXED = re.compile(r'''^(qsTr\()?("([^"\\]|\\.)*"|'([^'\\]|\\.)*')\)?(\.arg\([\w.+\- ()]*\))*$''')


def elements(source):
    """(type, start line, {property: (line, expression)}, has contentItem) per element."""
    source = re.sub(r"//[^\n]*", "", source)
    source = re.sub(r"/\*.*?\*/", lambda m: "\n" * m.group(0).count("\n"), source, flags=re.S)
    stack = []
    found = []
    line = 1
    i = 0
    opener = re.compile(r"([A-Z][\w.]*)\s*\{")
    prop = re.compile(r"(?:^|[;\n])\s*([a-zA-Z][\w.]*)\s*:\s*")
    while i < len(source):
        c = source[i]
        if c == "\n":
            line += 1
        if c in "\"'`":
            end = i + 1
            while end < len(source) and source[end] != c:
                end += 2 if source[end] == "\\" else 1
            line += source[i:end].count("\n")
            i = end + 1
            continue
        if c == "{":
            start = source.rfind("\n", 0, i) + 1
            head = source[start:i + 1]
            match = re.search(r"(?:^|\s|:)([A-Z][\w]*(?:\.[A-Z]\w*)?)\s*\{$", head)
            is_element = match is not None and not re.search(r":\s*\{$", head)
            stack.append({"type": match.group(1).split(".")[-1], "line": line, "props": {}, "content": False,
                          "body": i + 1} if is_element else None)
        elif c == "}":
            if stack:
                item = stack.pop()
                if item is not None:
                    item["end"] = i
                    found.append(item)
        i += 1
    for item in found:
        body = source[item["body"]:item["end"]]
        # Only this element's own properties: nested bodies are cut out.
        flat, depth = [], 0
        for ch in body:
            if ch == "{":
                depth += 1
                flat.append(ch if depth == 1 else " ")
                continue
            if ch == "}":
                depth -= 1
                flat.append(ch if depth == 0 else " ")
                continue
            flat.append(ch if depth == 0 or ch == "\n" else " ")
        flat = "".join(flat)
        base = item["line"]
        for match in prop.finditer(flat):
            name = match.group(1)
            rest = flat[match.end():].split("\n", 1)[0].strip().rstrip(";").strip()
            item["props"][name] = (base + flat[:match.start(1)].count("\n"), rest)
        item["content"] = "contentItem" in item["props"]
    return found


def problems(folder):
    out = []
    local = {name[:-4] for _, _, files in os.walk(folder) for name in files if name.endswith(".qml")}
    for root, _, files in os.walk(folder):
        for name in sorted(files):
            if not name.endswith(".qml"):
                continue
            path = os.path.join(root, name)
            relative = os.path.relpath(path, folder)
            with open(path, encoding="utf-8") as f:
                source = f.read()
            for item in elements(source):
                kind = item["type"]
                if kind in local or (kind not in FORMATTED and kind not in CONTROLS):
                    continue
                for key in TEXT_PROPERTIES:
                    if key not in item["props"] and not (key == "text" and kind in FORMATTED):
                        continue
                    line, expression = item["props"].get(key, (item["line"], "(set from outside)"))
                    if FIXED.match(expression) or (relative, expression) in ALLOWED:
                        continue
                    plain = item["props"].get("textFormat", (0, ""))[1].endswith("PlainText")
                    if kind in FORMATTED and plain:
                        continue
                    if kind in CONTROLS and item["content"]:
                        continue
                    need = "textFormat: Text.PlainText" if kind in FORMATTED else "a plain contentItem"
                    out.append(f"{relative}:{line}: {kind} {key}: {expression} needs {need}")
    return out


if __name__ == "__main__":
    found = problems(sys.argv[1])
    print("\n".join(found))
    print(f"{len(found)} texts that may be shown as rich text", file=sys.stderr)
    sys.exit(1 if found else 0)
