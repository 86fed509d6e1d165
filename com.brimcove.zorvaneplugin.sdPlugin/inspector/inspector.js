// The property inspector of every Zorvane key. The Stream Deck application
// opens this page for the key being edited and calls
// connectElgatoStreamDeckSocket(); from then on the page talks to it over
// the WebSocket: it registers, receives the item lists that the plug-in
// forwards from the Zorvane desktop application ("sendToPropertyInspector")
// and the key's settings ("didReceiveSettings"), and writes the user's
// choices back with "setSettings". The same page serves an action placed on
// a Stream Deck+ dial (an encoder): the same picker, whose choice the strip
// shows; turning the dial changes the setting, which arrives here as
// "didReceiveSettings". A dial has no key image, so that field is hidden.
//
// A choice stores the entry's text as "label" beside its "value", so that
// the page can name the entry while Zorvane is closed; the plug-in builds its
// commands from "value" alone.
(function (root) {
  'use strict';

  const ACTIONS = root.ZorvaneActions;
  const Items = root.ZorvaneItems;
  const L10n = root.ZorvaneLocalization;

  const state = {
    socket: null,
    uuid: '', // this inspector's identifier; the context of its messages
    action: null, // the entry of ACTIONS, null for an action we do not know
    onDial: false, // opened for an encoder rather than a key
    settings: {},
    entries: null, // picker entries of the last list; null while there is none
    appClosed: false,
  };
  let renderedEntries = null; // the entries the picker's buttons were made for

  function byId(id) {
    return document.getElementById(id);
  }

  function isObject(value) {
    return value !== null && typeof value === 'object' && !Array.isArray(value);
  }

  // The host passes the two documents as JSON text.
  function parseObject(value) {
    if (typeof value === 'string') {
      try {
        value = JSON.parse(value);
      } catch (e) {
        return {};
      }
    }
    return isObject(value) ? value : {};
  }

  function send(message) {
    if (state.socket && state.socket.readyState === WebSocket.OPEN) {
      state.socket.send(JSON.stringify(message));
    }
  }

  // Applies changes to the key's settings (undefined removes a member) and
  // hands the whole settings object to the host, which keeps it for the key
  // and passes it on to the plug-in.
  function writeSettings(changes) {
    const settings = Object.assign({}, state.settings);
    for (const [key, value] of Object.entries(changes)) {
      if (value === undefined) delete settings[key];
      else settings[key] = value;
    }
    state.settings = settings;
    send({ event: 'setSettings', context: state.uuid, payload: settings });
    render();
  }

  function onSendToPropertyInspector(payload) {
    if (payload.appDidClose === true) {
      state.appClosed = true;
      state.entries = null;
      render();
      return;
    }
    const action = state.action;
    if (
      action &&
      action.listType &&
      payload.listType === action.listType &&
      Array.isArray(payload.itemList)
    ) {
      state.entries = Items.normalizeList(payload, action.numeric);
      state.appClosed = false;
      render();
    }
  }

  function onDidReceiveSettings(payload) {
    state.settings = isObject(payload.settings) ? payload.settings : {};
    render();
  }

  function onMessage(event) {
    let message;
    try {
      message = JSON.parse(event.data);
    } catch (e) {
      return; // not JSON: nothing for this page
    }
    if (!isObject(message)) return;
    const payload = isObject(message.payload) ? message.payload : {};
    if (message.event === 'sendToPropertyInspector') onSendToPropertyInspector(payload);
    else if (message.event === 'didReceiveSettings') onDidReceiveSettings(payload);
  }

  function hasValue(value) {
    return value !== undefined && value !== null && value !== '';
  }

  function thumbnail(entry) {
    const placeholder = () => {
      const box = document.createElement('span');
      box.className = 'thumb';
      box.textContent = entry.text.charAt(0).toUpperCase();
      return box;
    };
    if (!entry.thumbnail) return placeholder();
    const img = document.createElement('img');
    img.className = 'thumb';
    img.alt = '';
    img.src = entry.thumbnail;
    img.addEventListener('error', () => img.replaceWith(placeholder()), { once: true });
    return img;
  }

  function itemButton(entry, tiles) {
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'item';
    button.title = entry.text;
    button.setAttribute('role', 'option');
    if (tiles) button.appendChild(thumbnail(entry));
    const text = document.createElement('span');
    text.className = 'item-text';
    text.textContent = entry.text;
    button.appendChild(text);
    button.addEventListener('click', () =>
      writeSettings({ value: entry.value, label: entry.text }),
    );
    return button;
  }

  // The text stored with the value when it was chosen, if any.
  function storedLabel() {
    const label = state.settings.label;
    return typeof label === 'string' && label !== '' ? label : undefined;
  }

  function renderChoice(action) {
    const t = L10n.translate;
    byId('choice-label').textContent = t(action.choice);

    const value = state.settings.value;
    const chosen = hasValue(value);
    const entries = state.entries || [];
    const match = chosen ? entries.find((e) => String(e.value) === String(value)) : undefined;
    let current;
    if (!chosen) current = t('Nothing chosen yet');
    else if (match) current = match.text;
    else if (state.entries) current = String(value) + ' (' + t("not in Zorvane's list") + ')';
    else current = storedLabel() || String(value);
    byId('current-value').textContent = current;

    // The buttons are made once per list, so that a click keeps the list's
    // scroll position, the focus and the loaded thumbnails.
    const list = byId('item-list');
    if (renderedEntries !== state.entries) {
      renderedEntries = state.entries;
      const tiles = entries.some((e) => e.thumbnail);
      list.classList.toggle('tiles', tiles);
      list.replaceChildren(...entries.map((entry) => itemButton(entry, tiles)));
    }
    entries.forEach((entry, index) => {
      const selected = chosen && String(entry.value) === String(value);
      list.children[index].setAttribute('aria-selected', String(selected));
    });
    list.hidden = state.entries === null || entries.length === 0;
    byId('empty-list').hidden = !(state.entries && entries.length === 0);
  }

  function render() {
    const t = L10n.translate;
    const action = state.action;
    const hasList = Boolean(action && action.listType);

    byId('about').textContent = action ? t(action.tooltip) : '';
    byId('not-running').hidden = !(state.appClosed || (hasList && state.entries === null));
    byId('not-running-hint').textContent = hasList
      ? t('Start Zorvane to choose from its list.')
      : state.onDial
        ? t('Start Zorvane to use this dial.')
        : t('Start Zorvane to use this key.');
    byId('choice').hidden = !hasList;
    if (hasList) renderChoice(action);

    byId('key-image').hidden = state.onDial;
    // Leave the path alone while the user is typing in it.
    const input = byId('image-path');
    if (document.activeElement !== input) {
      const image = state.settings.image;
      input.value = hasValue(image) ? String(image) : '';
    }
  }

  function bindImageControls() {
    const input = byId('image-path');
    const file = byId('image-file');
    input.addEventListener('change', () => {
      const path = input.value.trim();
      writeSettings({ image: path === '' ? undefined : path });
    });
    file.addEventListener('change', () => {
      const path = Items.pathFromFileInput(file.value);
      file.value = ''; // so that choosing the same file again reports a change
      if (path === '') return;
      input.value = path;
      writeSettings({ image: path });
    });
    byId('image-clear').addEventListener('click', () => {
      input.value = '';
      writeSettings({ image: undefined });
    });
  }

  // Called by the Stream Deck application once the page has loaded.
  // info and actionInfo are JSON texts: the application's and device's
  // description, and the key's action, context and settings.
  function connectElgatoStreamDeckSocket(port, uuid, registerEvent, info, actionInfo) {
    const application = parseObject(info).application;
    const key = parseObject(actionInfo);
    const payload = isObject(key.payload) ? key.payload : {};

    state.uuid = uuid;
    state.action = Object.prototype.hasOwnProperty.call(ACTIONS, key.action)
      ? ACTIONS[key.action]
      : null;
    state.settings = isObject(payload.settings) ? payload.settings : {};
    state.onDial = payload.controller === 'Encoder';
    document.body.dataset.action = typeof key.action === 'string' ? key.action : '';
    render();

    const language = isObject(application) ? application.language : undefined;
    L10n.load(language, () => {
      if (typeof language === 'string') document.documentElement.lang = language.replace('_', '-');
      L10n.translatePage(document);
      render();
    });

    const socket = new WebSocket('ws://127.0.0.1:' + port);
    state.socket = socket;
    socket.addEventListener('open', () => {
      socket.send(JSON.stringify({ event: registerEvent, uuid: uuid }));
    });
    socket.addEventListener('message', onMessage);
  }

  bindImageControls();
  root.connectElgatoStreamDeckSocket = connectElgatoStreamDeckSocket;
})(this);
