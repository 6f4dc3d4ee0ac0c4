// The remote page: reads the station once a second and presses its buttons. Every text from the
// station goes in as text (textContent), never as markup.
"use strict";

const tokenKey = "corvalin-remote-token";
const byId = (id) => document.getElementById(id);
const buttons = { play: byId("play"), pause: byId("pause"), stop: byId("stop"),
                  next: byId("next-button") };
let lastSong = "";
let lastLogRead = 0;

function setText(id, text) {
  const element = byId(id);
  const value = text === undefined || text === null || text === "" ? "-" : String(text);
  if (element.textContent !== value) element.textContent = value;
}

function clock(seconds) {
  if (typeof seconds !== "number" || !isFinite(seconds) || seconds < 0) return "-:--";
  const whole = Math.floor(seconds);
  const s = whole % 60;
  const m = Math.floor(whole / 60) % 60;
  const h = Math.floor(whole / 3600);
  const mm = h > 0 && m < 10 ? "0" + m : String(m);
  return (h > 0 ? h + ":" : "") + mm + ":" + (s < 10 ? "0" : "") + s;
}

function songText(song) {
  if (!song) return "-";
  if (song.artist && song.title) return song.artist + " - " + song.title;
  return song.artist || song.title || song.file || "-";
}

function showStatus(s) {
  setText("station", s.station || "Corvalin Radio");
  document.title = (s.station || "Corvalin Radio") + " - remote";
  setText("state", s.state);
  const song = s.onAir;
  setText("title", song ? song.title || song.file : "");
  setText("artist", song ? song.artist : "");
  const length = song && typeof song.length === "number" ? song.length : 0;
  const elapsed = song && typeof song.elapsed === "number" ? song.elapsed : 0;
  const percent = length > 0 ? Math.min(100, Math.max(0, (100 * elapsed) / length)) : 0;
  byId("progress-fill").style.width = percent.toFixed(1) + "%";
  byId("progress").setAttribute("aria-valuenow", String(Math.round(percent)));
  setText("elapsed", clock(song ? song.elapsed : -1));
  setText("remaining", "-" + clock(song ? song.remaining : -1));
  byId("talk").textContent = s.voiceTest ? "Voice test" : s.talking ? "The DJ is talking" : "";
  setText("next", songText(s.next));
  setText("slot", s.slot);
  setText("dj", s.dj);
  const stream = s.stream || {};
  byId("lamp").className = "lamp " + (stream.state || "off");
  setText("stream", stream.detail || stream.state);
  setText("fetch", s.lastFetch || "none yet");
  const allowed = s.buttons || {};
  for (const name of Object.keys(buttons)) buttons[name].disabled = !allowed[name];
  const key = song ? song.file + "\n" + song.title : "";
  if (key !== lastSong || Date.now() - lastLogRead > 10000) {
    lastSong = key;
    readLog();
  }
}

function showLog(log) {
  const body = byId("log-rows");
  const rows = (log.rows || []).slice().reverse();
  const fresh = document.createDocumentFragment();
  for (const row of rows) {
    const tr = document.createElement("tr");
    const time = document.createElement("td");
    time.textContent = (row.start || "").slice(11, 19);
    const what = document.createElement("td");
    if (row.kind === "song")
      what.textContent = row.artist && row.title ? row.artist + " - " + row.title
                                                 : row.artist || row.title || "";
    else
      what.textContent = (row.kind || "") + (row.dj ? " (" + row.dj + ")" : "");
    const seconds = document.createElement("td");
    seconds.textContent = clock(Number(row.seconds));
    tr.append(time, what, seconds);
    fresh.append(tr);
  }
  body.replaceChildren(fresh);
}

async function readLog() {
  lastLogRead = Date.now();
  try {
    const answer = await fetch("/api/log", { cache: "no-store" });
    if (answer.ok) showLog(await answer.json());
  } catch (e) {
    // The next status read tries again.
  }
}

async function poll() {
  try {
    const answer = await fetch("/api/status", { cache: "no-store" });
    if (!answer.ok) throw new Error("status " + answer.status);
    showStatus(await answer.json());
  } catch (e) {
    setText("state", "The station does not answer");
    for (const name of Object.keys(buttons)) buttons[name].disabled = true;
  }
  setTimeout(poll, 1000);
}

function token() {
  return sessionStorage.getItem(tokenKey) || "";
}

function showTokenState() {
  byId("token-state").textContent = token() ? "The buttons use the token entered."
                                             : "Enter the token shown in the Radio Manager.";
}

async function press(name) {
  const message = byId("message");
  message.className = "message";
  if (!token()) {
    message.textContent = "Enter the token first.";
    message.className = "message refused";
    byId("token").focus();
    return;
  }
  buttons[name].disabled = true;
  try {
    const answer = await fetch("/api/" + name, {
      method: "POST",
      headers: { Authorization: "Bearer " + token() },
      cache: "no-store",
    });
    let reply = {};
    try { reply = await answer.json(); } catch (e) { reply = {}; }
    if (answer.ok) {
      message.textContent = buttons[name].textContent + " pressed.";
    } else {
      message.textContent = reply.reason || "Refused (" + answer.status + ").";
      message.className = "message refused";
    }
  } catch (e) {
    message.textContent = "The station does not answer.";
    message.className = "message refused";
  }
}

for (const name of Object.keys(buttons))
  buttons[name].addEventListener("click", () => press(name));

byId("token-form").addEventListener("submit", (event) => {
  event.preventDefault();
  const value = byId("token").value.trim();
  if (value) sessionStorage.setItem(tokenKey, value);
  else sessionStorage.removeItem(tokenKey);
  byId("token").value = "";
  showTokenState();
});

showTokenState();
poll();
