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
// A long list is searched from the field above it: typing keeps the entries
// whose text holds the typed text; the arrow keys move through the entries
// shown and Enter chooses one. A choice stores the entry's text as "label"
// beside its "value", so that the page can name the entry while Zorvane is
// closed; the plug-in builds its commands from "value" alone.
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
  let activeButton = null; // the entry that Enter in the search field chooses
  let shownCount = 0; // entries that match the search field
  let unreadThumbnails = []; // { button, img } of tiles whose picture is not read yet
  let thumbnailQueue = []; // { button, img } of tiles near sight, to be read
  let thumbnailsReading = 0;
  const THUMBNAILS_READ_AT_ONCE = 4;

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
      const firstList = state.entries === null;
      state.entries = Items.normalizeList(payload, action.numeric);
      state.appClosed = false;
      render();
      // The page opens on the stored entry, however far down the list it is.
      if (firstList) keepInView(chosenButton(), true);
      readThumbnailsNearSight();
    }
  }

  function onDidReceiveSettings(payload) {
    const before = state.settings.value;
    state.settings = isObject(payload.settings) ? payload.settings : {};
    render();
    // A dial turned while the page is open: the mark stays in sight.
    if (state.settings.value !== before) {
      keepInView(chosenButton(), false);
      readThumbnailsNearSight();
    }
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
    img.className = 'thumb undecoded';
    img.alt = '';
    img.dataset.src = entry.thumbnail; // read once the tile comes near sight
    img.addEventListener('error', () => img.replaceWith(placeholder()), { once: true });
    return img;
  }

  // Near sight: in the picker's visible part, or within a quarter of its
  // height above or below.
  function nearSight() {
    const list = byId('item-list');
    const margin = list.clientHeight / 4;
    return { top: list.scrollTop - margin, bottom: list.scrollTop + list.clientHeight + margin };
  }

  function isWithin(button, { top, bottom }) {
    return (
      !button.hidden && button.offsetTop + button.offsetHeight > top && button.offsetTop < bottom
    );
  }

  // Queues the pictures of the tiles near sight for reading; the others wait
  // until scrolling or a search brings them near. A list may name a thousand
  // pictures of several MiB each.
  function readThumbnailsNearSight() {
    const bounds = nearSight();
    const waiting = [];
    for (const tile of unreadThumbnails) {
      (isWithin(tile.button, bounds) ? thumbnailQueue : waiting).push(tile);
    }
    unreadThumbnails = waiting;
    readQueuedThumbnails();
  }

  // Reads and decodes at most a few pictures at a time, and shows each once
  // decoded, so that no frame waits for a picture's decoder and the browser
  // does not decode many large pictures at once. A tile that has left sight
  // meanwhile goes back to waiting.
  function readQueuedThumbnails() {
    while (thumbnailsReading < THUMBNAILS_READ_AT_ONCE && thumbnailQueue.length > 0) {
      const tile = thumbnailQueue.shift();
      if (!tile.img.isConnected) continue;
      if (!isWithin(tile.button, nearSight())) {
        unreadThumbnails.push(tile);
        continue;
      }
      const img = tile.img;
      thumbnailsReading += 1;
      img.src = img.dataset.src;
      img
        .decode()
        .then(
          () => img.classList.remove('undecoded'),
          () => {}, // not a picture: the error event puts the first letter in its place
        )
        .then(() => {
          thumbnailsReading -= 1;
          readQueuedThumbnails();
        });
    }
  }

  function itemButton(entry, index, tiles) {
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'item';
    button.id = 'item-' + index;
    button.title = entry.text;
    button.setAttribute('role', 'option');
    if (tiles) {
      const picture = thumbnail(entry);
      if (picture.tagName === 'IMG') unreadThumbnails.push({ button, img: picture });
      button.appendChild(picture);
    }
    const text = document.createElement('span');
    text.className = 'item-text';
    text.textContent = entry.text;
    button.appendChild(text);
    button.addEventListener('click', () => {
      setActive(button);
      writeSettings({ value: entry.value, label: entry.text });
    });
    return button;
  }

  function isChosen(entry) {
    const value = state.settings.value;
    return hasValue(value) && String(entry.value) === String(value);
  }

  // The text stored with the value when it was chosen, if any.
  function storedLabel() {
    const label = state.settings.label;
    return typeof label === 'string' && label !== '' ? label : undefined;
  }

  function chosenButton() {
    const index = (renderedEntries || []).findIndex(isChosen);
    return index < 0 ? null : byId('item-list').children[index];
  }

  // Scrolls the picker, not the page, so that button is in sight: to the
  // middle of the picker when centre is true, else by as little as needed.
  function keepInView(button, centre) {
    if (!button || button.hidden) return;
    const list = byId('item-list');
    const top = button.offsetTop;
    const bottom = top + button.offsetHeight;
    if (centre) list.scrollTop = top - (list.clientHeight - button.offsetHeight) / 2;
    else if (top < list.scrollTop) list.scrollTop = top;
    else if (bottom > list.scrollTop + list.clientHeight)
      list.scrollTop = bottom - list.clientHeight;
  }

  function setActive(button) {
    if (activeButton) activeButton.classList.remove('active');
    activeButton = button;
    const search = byId('item-search');
    if (button) {
      button.classList.add('active');
      search.setAttribute('aria-activedescendant', button.id);
      keepInView(button, false);
    } else {
      search.removeAttribute('aria-activedescendant');
    }
  }

  function shownButtons() {
    return Array.from(byId('item-list').children).filter((button) => !button.hidden);
  }

  // Hides the entries whose text does not match the search field.
  function applySearch() {
    const search = byId('item-search').value;
    const list = byId('item-list');
    shownCount = 0;
    (renderedEntries || []).forEach((entry, index) => {
      const match = Items.matchesSearch(entry.text, search);
      list.children[index].hidden = !match;
      if (match) shownCount += 1;
    });
    if (activeButton && activeButton.hidden) setActive(null);
  }

  // Typing: the first entry that matches is the one Enter chooses.
  function onSearchInput() {
    applySearch();
    renderMatchHint();
    const search = byId('item-search').value.trim();
    setActive(search === '' ? null : shownButtons()[0] || null);
    readThumbnailsNearSight();
  }

  // In the search field Up and Down move through the entries shown, one at a
  // time, starting from the stored entry; Enter chooses the entry reached.
  function onSearchKey(event) {
    if (event.key === 'Enter') {
      event.preventDefault();
      if (activeButton) activeButton.click();
      return;
    }
    if (event.key !== 'ArrowDown' && event.key !== 'ArrowUp') return;
    const step = event.key === 'ArrowDown' ? 1 : -1;
    event.preventDefault();
    const buttons = shownButtons();
    if (buttons.length === 0) return;
    let from = buttons.indexOf(activeButton);
    if (from < 0) from = buttons.indexOf(chosenButton());
    const to = from < 0 ? (step > 0 ? 0 : buttons.length - 1) : from + step;
    setActive(buttons[Math.max(0, Math.min(buttons.length - 1, to))]);
  }

  // The tiles in the first row of the grid; 1 for a plain list.
  function columns(buttons) {
    if (!byId('item-list').classList.contains('tiles') || buttons.length === 0) return 1;
    const top = buttons[0].offsetTop;
    const first = buttons.findIndex((button) => button.offsetTop !== top);
    return first < 0 ? buttons.length : first;
  }

  // On an entry the arrow keys move the focus to the next entry shown in
  // their direction (a row up or down in a grid of tiles), Home and End to
  // the first and the last; Enter and Space choose it, as buttons do.
  function onListKey(event) {
    const buttons = shownButtons();
    const from = buttons.indexOf(event.target);
    if (from < 0) return;
    const row = columns(buttons);
    const targets = {
      ArrowLeft: from - 1,
      ArrowRight: from + 1,
      ArrowUp: from - row,
      ArrowDown: from + row,
      Home: 0,
      End: buttons.length - 1,
    };
    if (!Object.prototype.hasOwnProperty.call(targets, event.key)) return;
    event.preventDefault();
    const to = buttons[targets[event.key]];
    if (!to) return;
    to.focus();
    setActive(to);
  }

  function bindSearchControls() {
    const search = byId('item-search');
    const list = byId('item-list');
    search.addEventListener('input', onSearchInput);
    search.addEventListener('keydown', onSearchKey);
    search.addEventListener('focus', () => list.classList.add('searching'));
    search.addEventListener('blur', () => list.classList.remove('searching'));
    list.addEventListener('keydown', onListKey);
    list.addEventListener('scroll', readThumbnailsNearSight, { passive: true });
    window.addEventListener('resize', readThumbnailsNearSight);
  }

  function renderMatchHint() {
    byId('no-match').hidden = byId('item-list').hidden || shownCount > 0;
  }

  function renderChoice(action) {
    const t = L10n.translate;
    byId('choice-label').textContent = t(action.choice);

    const value = state.settings.value;
    const chosen = hasValue(value);
    const entries = state.entries || [];
    const match = chosen ? entries.find(isChosen) : undefined;
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
      unreadThumbnails = [];
      thumbnailQueue = [];
      list.replaceChildren(...entries.map((entry, index) => itemButton(entry, index, tiles)));
      setActive(null);
      applySearch();
    }
    entries.forEach((entry, index) => {
      list.children[index].setAttribute('aria-selected', String(isChosen(entry)));
    });
    list.hidden = state.entries === null || entries.length === 0;
    byId('search').hidden = list.hidden;
    byId('empty-list').hidden = !(state.entries && entries.length === 0);
    renderMatchHint();
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
  bindSearchControls();
  root.connectElgatoStreamDeckSocket = connectElgatoStreamDeckSocket;
})(this);
