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
import pathlib
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
    """Per element: its type, start line, {property: (line, expression)} of its own body."""
    # Each open brace keeps its own text; a closed one leaves its braces and line breaks only.
    frames, found, line, i = [{"text": ""}], [], 1, 0
    while i < len(source):
        c = source[i]
        if source.startswith(("//", "/*"), i):
            block = source[i + 1] == "*"
            end = source.find("*/" if block else "\n", i)
            end = len(source) if end < 0 else end + 2 * block
            frames[-1]["text"] += "\n" * source[i:end].count("\n")
            line += source[i:end].count("\n")
            i = end
            continue
        if c in "\"'`":
            end = i + 1
            while end < len(source) and source[end] != c:
                end += 2 if source[end] == "\\" else 1
            frames[-1]["text"] += source[i:end + 1]
            line += source[i:end].count("\n")
            i = end + 1
            continue
        if c == "{":
            head = source[source.rfind("\n", 0, i) + 1:i + 1]
            match = re.search(r"(?:^|\s|:)([A-Z][\w]*(?:\.[A-Z]\w*)?)\s*\{$", head)
            element = match is not None and not re.search(r":\s*\{$", head)
            frames.append({"type": match.group(1).split(".")[-1] if element else None, "line": line, "text": ""})
        elif c == "}" and len(frames) > 1:
            frame = frames.pop()
            frames[-1]["text"] += "{" + re.sub(r"[^\n]", " ", frame["text"]) + "}"
            if frame["type"]:
                found.append(frame)
        else:
            frames[-1]["text"] += c
        line += c == "\n"
        i += 1
    for item in found:
        text, item["props"] = item["text"], {}
        for match in re.finditer(r"(?:^|[;\n])\s*([a-zA-Z][\w.]*)\s*:\s*", text):
            rest = text[match.end():].split("\n", 1)[0].strip().rstrip(";").strip()
            item["props"][match.group(1)] = (item["line"] + text[:match.start(1)].count("\n"), rest)
    return found


def problems(folder):
    out = []
    files = sorted(pathlib.Path(folder).rglob("*.qml"))
    local = {path.stem for path in files}
    for path in files:
        relative = str(path.relative_to(folder))
        for item in elements(path.read_text(encoding="utf-8")):
            kind, props = item["type"], item["props"]
            if kind in local or (kind not in FORMATTED and kind not in CONTROLS):
                continue
            for key in TEXT_PROPERTIES:
                if key not in props and not (key == "text" and kind in FORMATTED):
                    continue
                line, expression = props.get(key, (item["line"], "(set from outside)"))
                if FIXED.match(expression) or (relative, expression) in ALLOWED:
                    continue
                if kind in FORMATTED and not props.get("textFormat", (0, ""))[1].endswith("PlainText"):
                    out.append(f"{relative}:{line}: {kind} {key}: {expression} needs textFormat: Text.PlainText")
                elif kind in CONTROLS and "contentItem" not in props:
                    out.append(f"{relative}:{line}: {kind} {key}: {expression} needs a plain contentItem")
    return out


if __name__ == "__main__":
    found = problems(sys.argv[1])
    print("\n".join(found))
    print(f"{len(found)} texts that may be shown as rich text", file=sys.stderr)
    sys.exit(1 if found else 0)
