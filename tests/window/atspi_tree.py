#!/usr/bin/env python3
# The main window as a screen reader sees it, through AT-SPI: starts the program in a data folder of its own,
# reads the accessibility tree of its window and checks names, roles, descriptions and label relations,
# then makes a deposit through AT-SPI alone and checks that the count and the total announce their change.
# Then it walks the main window, a message box, the help window and (in a second, empty data folder) the welcome
# window, and fails on an object with a vague role or no name, and on two focused objects; it goes round the help
# window with the keyboard and checks the focus after each key.
# Run under Xvfb and a D-Bus session of its own:
#   xvfb-run -a dbus-run-session -- python3 atspi_tree.py PROGRAM
import os
import shutil
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

FRAME = "ツモっと貯めよう！"
HELP = "ツモっと貯めよう！ ヘルプ"
# name: (role, description, what it labels)
EXPECTED = {
    "入金": ("push button", "表示中の項目と金額で貯金します", None),
    "クリア": ("push button", "これまでのデータを削除します", None),
    "ヘルプ": ("push button", "ヘルプファイルを開きます", None),
    "プロ": ("push button", "ヘルプファイルを開きます", None),
    "終了": ("push button", "プログラムを終了します", None),
    "項目全クリア": ("push button", "登録されている項目を全て削除します", None),
    "貯金の記録": ("table", "ダブルクリックで選択した行を削除できます", None),
    "項目リスト": ("table", "ダブルクリックで選択した項目を削除できます", None),
    "テーマのイラスト": ("image", "ダブルクリックでテーマ名を変更できます", None),
    "回数": ("label", "", "1"),
    "合計": ("label", "", "¥690"),
    "貯金の推移": ("push button", "貯金の推移と目標までの見込みをグラフで表示します", None),
    "目標": ("progress bar", "目標 ¥5,000 まで あと ¥4,310", None),
}
TEXT_BOXES = {"項目": "リストにない項目を入力、追加できます", "金額": "金額を入力してください"}
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def descendants(node, depth=0):
    if node is None or depth > 12:
        return
    yield node
    for i in range(node.get_child_count()):
        yield from descendants(node.get_child_at_index(i), depth + 1)


# Inside a table, cells and headers are named by their text, and an empty cell by none; the corner button of
# Qt's tables is an unnamed panel. Everywhere else an object has a role that says what it is and a name.
TABLE_PARTS = ("table cell", "table column header", "panel")
VAGUE_ROLES = ("filler", "unknown", "invalid", "redundant object")


def audit(root, where, skip=()):
    """Fails on a shown object with a vague role or no name, below root (but not below the names in skip)."""

    def walk(node, parent_role, depth):
        # What is hidden is not reached: a label shown only when it has something to say, a closed find bar.
        if node is None or depth > 14 or not node.get_state_set().contains(Atspi.StateType.VISIBLE):
            return
        role = node.get_role_name()
        name = node.get_name()
        if parent_role not in ("table", "tree", "tree table") or role not in TABLE_PARTS:
            check(role not in VAGUE_ROLES, f"{where}: {role} {name!r} says what it is")
            check(bool(name) or role == "scroll bar", f"{where}: the {role} under a {parent_role} has a name")
        if name in skip:
            return
        for i in range(node.get_child_count()):
            walk(node.get_child_at_index(i), role, depth + 1)

    walk(root, "", 0)


def focused_chain(root):
    """The focused objects below root, outermost first, and whether they lie on one line from the root down
    (a focused list and its current entry are one focus; two lists, or a list and a box, are two)."""
    found = []

    def walk(node, path, depth):
        if node is None or depth > 14:
            return
        states = node.get_state_set()
        if states.contains(Atspi.StateType.FOCUSED) and states.contains(Atspi.StateType.SHOWING):
            found.append((path, node))
        for i in range(node.get_child_count()):
            walk(node.get_child_at_index(i), path + (i,), depth + 1)

    walk(root, (), 0)
    found.sort(key=lambda item: len(item[0]))
    one_line = all(found[i + 1][0][: len(found[i][0])] == found[i][0] for i in range(len(found) - 1))
    return [node for _, node in found], one_line


def check_one_focus(root, where):
    chain, one_line = focused_chain(root)
    heard = [f"{n.get_role_name()} {n.get_name()!r}" for n in chain]
    check(one_line, f"{where}: one focused object, not {heard}")
    return chain


def tab_round(window, title, presses):
    """Tab goes round a window: after each press the focus has moved, and one object is focused."""
    subprocess.run(["xdotool", "search", "--name", f"^{title}$", "windowfocus", "--sync"], check=False)
    for press in range(presses):
        before = [n.get_name() for n in focused_chain(window)[0]]
        subprocess.run(["xdotool", "key", "Tab"], check=False)
        for _ in range(300):  # until the program has taken the key
            pump(20)
            if [n.get_name() for n in focused_chain(window)[0]] != before:
                break
            time.sleep(0.02)
        chain = check_one_focus(window, f"{title} after Tab {press + 1}")
        check([n.get_name() for n in chain] != before, f"{title}: Tab {press + 1} moves the focus from {before}")


def keyboard_round(window):
    """Goes round the help window with the keyboard, as a screen reader user does, and checks after each key that
    one object is focused and that it is the one the key moves to."""
    subprocess.run(["xdotool", "search", "--name", f"^{HELP}$", "windowfocus", "--sync"], check=False)
    keywords = next((n for n in descendants(window) if n.get_name() == "キーワードの一覧"), None)

    def selected_keyword():
        for node in descendants(keywords) if keywords is not None else ():
            if node.get_role_name() == "table cell" and node.get_state_set().contains(Atspi.StateType.SELECTED):
                return node.get_name()
        return None

    steps = [  # keys, the role and name of the outermost focused object, and what else shows the key was taken
        (["alt+c"], "tree", "目次", None),
        (["shift+Tab"], "page tab", "目次(C)", None),
        (["Right"], "page tab", "キーワード(N)", None),
        (["shift+Tab"], "document frame", None, None),
        (["alt+n"], "text", "キーワード", None),
        (["Down"], "text", "キーワード", "moved"),
        (["Tab"], "tree", "キーワードの一覧", None),
        (["alt+s"], "text", "検索する言葉", None),
        (["Tab"], "push button", "検索", None),
        (["Tab"], "tree", "見つかったページ", None),
        (["Tab"], "push button", "ホーム", None),
    ]
    for keys, role, name, also in steps:
        before = selected_keyword()
        subprocess.run(["xdotool", "key"] + keys, check=False)
        chain = []
        for _ in range(300):  # until the program has taken the key
            pump(20)
            chain, _ = focused_chain(window)
            outer = chain[0] if chain else None
            if outer is not None and outer.get_role_name() == role and (name is None or outer.get_name() == name):
                if also is None or selected_keyword() != before:
                    break
            time.sleep(0.02)
        where = "help window after " + "+".join(keys)
        outer = chain[0] if chain else None
        check(outer is not None and outer.get_role_name() == role and (name is None or outer.get_name() == name),
              f"{where}: the focus is on the {role} {name}, not {[n.get_name() for n in chain]}")
        check_one_focus(window, where)


def app_windows(name):
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is None:
            continue
        for j in range(app.get_child_count()):
            window = app.get_child_at_index(j)
            if window is not None and window.get_name() == name:
                return window
    return None


def wait_for_window(name, shown=True):
    """The window named so, once it is in the tree (or None once it has gone from it), polling a bounded number of
    rounds."""
    window = None
    for _ in range(300):
        pump(50)
        window = app_windows(name)
        if (window is not None) == shown:
            break
        time.sleep(0.05)
    return window


def pump(rounds):
    context = GLib.MainContext.default()
    for _ in range(rounds):
        context.iteration(False)


def main():
    program = sys.argv[1]
    data = tempfile.mkdtemp(prefix="tsumotto-atspi-")
    with open(os.path.join(data, "テーマ１.txt"), "wb") as f:
        f.write('"2026年12月07日","タクシーを使ったつもり",690\r\n'.encode("cp932"))
    with open(os.path.join(data, "項目１.txt"), "wb") as f:
        f.write('"タクシーを使ったつもり",690\r\n'.encode("cp932"))
    with open(os.path.join(data, "目標１.txt"), "wb") as f:
        f.write(b"5000\r\n")
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", LANG="C.UTF-8")
    app = subprocess.Popen([program], cwd=data, env=env)
    try:
        frame = None
        for _ in range(600):  # until the window is in the tree, or the program has ended
            frame = app_windows(FRAME)
            if frame is not None or app.poll() is not None:
                break
            time.sleep(0.1)
        check(frame is not None, "the main window is in the accessibility tree")
        if frame is None:
            return
        check(frame.get_role_name() == "frame", "the main window is a frame, not " + frame.get_role_name())
        nodes = list(descendants(frame))

        def named(name, roles):
            return next((n for n in nodes if n.get_name() == name and n.get_role_name() in roles), None)

        for name, (role, description, value) in EXPECTED.items():
            node = named(name, (role,))
            check(node is not None, f"a {role} named {name}")
            if node is None:
                continue
            check(node.get_description() == description, f"{name} is described as {node.get_description()!r}")
            if value is not None:
                targets = [
                    r.get_target(0).get_name()
                    for r in node.get_relation_set()
                    if r.get_relation_type() == Atspi.RelationType.LABEL_FOR
                ]
                check(value in targets, f"{name} labels its value {value}, not {targets}")
        boxes = {}
        for name, description in TEXT_BOXES.items():
            node = boxes[name] = named(name, ("text", "entry"))
            check(node is not None, "a text box named " + name)
            if node is not None:
                check(node.get_description() == description, f"{name} is described as {node.get_description()!r}")
                labels = [
                    r.get_target(0).get_name()
                    for r in node.get_relation_set()
                    if r.get_relation_type() == Atspi.RelationType.LABELLED_BY
                ]
                check(name in labels, f"the {name} box is labelled by its header, not {labels}")
        goal = named("目標", ("progress bar",))
        if goal is not None:
            value = Atspi.Value.get_current_value(goal)
            check(value == 13, f"the goal's bar reads 13 (percent), not {value!r}")
        banner = [n for n in nodes if n.get_role_name() == "image" and n.get_name() == FRAME]
        check(len(banner) == 1, "the banner is an image named " + FRAME)

        # A deposit by AT-SPI alone: the item picked from its box's text, the amount typed, the button pressed.
        changed = []

        def on_name(event):
            try:
                if event.source is not None and event.source.get_role_name() == "label":
                    changed.append(event.source.get_name())
            except GLib.Error:  # an object gone by the time its event is read
                pass

        listener = Atspi.EventListener.new(on_name)
        listener.register("object:property-change:accessible-name")
        if failures:
            return
        Atspi.EditableText.set_text_contents(boxes["項目"], "タクシーを使ったつもり")
        Atspi.EditableText.set_text_contents(boxes["金額"], "1000")
        Atspi.Action.do_action(named("入金", ("push button",)), 0)
        for _ in range(300):
            pump(50)
            if "2" in changed and "¥1,690" in changed:
                break
            time.sleep(0.05)
        check("2" in changed and "¥1,690" in changed, f"the count and the total announce their change: {changed}")
        with open(os.path.join(data, "テーマ１.txt"), "rb") as f:
            check(f.read().count(b"\r\n") == 2, "the deposit made through AT-SPI is in the ledger")

        # Every object of the main window, and one focused object at a time.
        audit(frame, "main window")
        check_one_focus(frame, "main window")
        tab_round(frame, FRAME, 14)

        # The chart window, opened by its button: named parts, and one focus as Tab goes round it.
        Atspi.Action.do_action(named("貯金の推移", ("push button",)), 0)
        chart = wait_for_window("貯金の推移")
        check(chart is not None, "the chart window is in the accessibility tree")
        if chart is not None:
            audit(chart, "chart window")
            tab_round(chart, "貯金の推移", 6)
            subprocess.run(["xdotool", "key", "Escape"], check=False)
            wait_for_window("貯金の推移", shown=False)
        subprocess.run(["xdotool", "search", "--name", f"^{FRAME}$", "windowfocus", "--sync"], check=False)

        # A message box: an amount with too many decimals, entered with Enter in the amount box.
        Atspi.EditableText.set_text_contents(boxes["項目"], "タクシーを使ったつもり")
        Atspi.EditableText.set_text_contents(boxes["金額"], "1.23456")
        Atspi.Component.grab_focus(boxes["金額"])
        pump(50)
        Atspi.generate_keyboard_event(0xFF0D, None, Atspi.KeySynthType.PRESSRELEASE | Atspi.KeySynthType.SYM)
        box = wait_for_window("入力の確認")
        check(box is not None, "the message box is in the accessibility tree")
        if box is not None:
            check(box.get_role_name() in ("dialog", "alert"), "the message box is a dialog, not " + box.get_role_name())
            audit(box, "message box")
            check_one_focus(box, "message box")
            ok = next((n for n in descendants(box) if n.get_role_name() == "push button"), None)
            check(ok is not None, "the message box has its button")
            if ok is not None:
                Atspi.Action.do_action(ok, 0)
            wait_for_window("入力の確認", shown=False)

        # The help window: a frame, every part of it named, its tool bar's buttons reachable by Tab.
        Atspi.Action.do_action(named("ヘルプ", ("push button",)), 0)
        help_window = wait_for_window(HELP)
        check(help_window is not None, "the help window is in the accessibility tree")
        if help_window is not None:
            check(help_window.get_role_name() == "frame", "the help window is a frame, not " + help_window.get_role_name())
            audit(help_window, "help window")
            pages = [n for n in descendants(help_window) if n.get_role_name() == "document frame"]
            check(len(pages) == 1 and "Text" in pages[0].get_interfaces()
                  and "ツモっと貯めよう" in Atspi.Text.get_text(pages[0], 0, -1), "the help page is a document with its text")
            buttons = [n for n in descendants(help_window) if n.get_role_name() == "push button"
                       and n.get_parent() is not None and n.get_parent().get_role_name() == "tool bar"]
            check(len(buttons) >= 7, f"the help window's tool bar has its buttons: {len(buttons)}")
            for button in buttons:
                if button.get_state_set().contains(Atspi.StateType.SHOWING):
                    check(button.get_state_set().contains(Atspi.StateType.FOCUSABLE),
                          f"the tool bar button {button.get_name()} is in the Tab order")
            keyboard_round(help_window)
    finally:
        app.kill()
        app.wait()
        shutil.rmtree(data, ignore_errors=True)
    starter()


def starter():
    """The welcome window of a first start, in an empty data folder."""
    program = sys.argv[1]
    data = tempfile.mkdtemp(prefix="tsumotto-atspi-")
    env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", LANG="C.UTF-8")
    app = subprocess.Popen([program], cwd=data, env=env)
    try:
        window = None
        for _ in range(600):
            window = app_windows("ツモっと始めてみよう！")
            if window is not None or app.poll() is not None:
                break
            time.sleep(0.1)
        check(window is not None, "the welcome window is in the accessibility tree")
        if window is not None:
            audit(window, "welcome window")
            check_one_focus(window, "welcome window")
            tab_round(window, "ツモっと始めてみよう！", 6)
    finally:
        app.kill()
        app.wait()
        shutil.rmtree(data, ignore_errors=True)
    print("AT-SPI: %d checks failed" % len(failures) if failures else "AT-SPI: every name, role and relation as a screen reader hears it")


if __name__ == "__main__":
    main()
    sys.exit(1 if failures else 0)
