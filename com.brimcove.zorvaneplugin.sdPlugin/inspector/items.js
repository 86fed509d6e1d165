// Turns an item list of the Zorvane desktop application into picker entries,
// and the paths it names into URLs the page can load. No DOM here: the same
// file runs in the property inspector and under node for the unit tests.
//
// An entry is { text, value, thumbnail }: the text shown, the value written
// to the key's "value" setting (a number for numeric actions, text for the
// others) and the thumbnail URL or null. docs/property-inspector.md lists the
// item forms that are understood.
(function (root) {
  'use strict';

  // Member names are compared without case, "_" or "-": "displayName",
  // "display_name" and "DisplayName" are the same member.
  const TEXT_MEMBERS = ['name', 'displayname', 'title', 'label', 'text'];
  const VALUE_MEMBERS = ['value', 'id', 'index'];
  const THUMBNAIL_MEMBERS = [
    'thumbnail',
    'thumbnailpath',
    'thumb',
    'image',
    'imagepath',
    'icon',
    'preview',
  ];

  const IMAGE_EXTENSION = /\.(png|jpe?g|gif|webp|bmp|svg)$/i;
  const INT32_MIN = -2147483648;
  const INT32_MAX = 2147483647;

  function memberKey(name) {
    return name.toLowerCase().replace(/[_-]/g, '');
  }

  // The first member of item, in the order of names, whose value is a
  // non-empty string or a finite number. Of members whose names match alike
  // ("Name" and "name") the first in sorted order counts, not the first in
  // the text: the plug-in reads lists with a JSON library that keeps members
  // sorted, and the two must pick the same one.
  function pickMember(item, names) {
    const found = Object.create(null);
    for (const key of Object.keys(item).sort()) {
      const normal = memberKey(key);
      if (!(normal in found)) found[normal] = item[key];
    }
    for (const name of names) {
      const v = found[name];
      if ((typeof v === 'string' && v !== '') || (typeof v === 'number' && Number.isFinite(v))) {
        return v;
      }
    }
    return undefined;
  }

  // A value for a numeric action: an integer in the 32-bit range, given as a
  // number or as decimal digits; anything else gives undefined.
  function toInt32(v) {
    let n;
    if (typeof v === 'number') n = v;
    else if (typeof v === 'string' && /^\s*[-+]?\d+\s*$/.test(v)) n = Number(v);
    else return undefined;
    return Number.isInteger(n) && n >= INT32_MIN && n <= INT32_MAX ? n : undefined;
  }

  function hasScheme(path) {
    return /^[a-z][a-z0-9+.-]*:/i.test(path) && !/^[a-z]:([\\/]|$)/i.test(path);
  }

  function isAbsolutePath(path) {
    return hasScheme(path) || /^[a-z]:[\\/]/i.test(path) || /^[\\/]/.test(path);
  }

  function encodeSegments(path) {
    return path.split(/[\\/]/).map(encodeURIComponent).join('/');
  }

  // A URL for an absolute path: URLs stay as they are, Windows drive paths,
  // UNC paths and POSIX paths become file URLs.
  function pathToUrl(path) {
    if (hasScheme(path)) return path;
    let m = /^([a-z]):[\\/](.*)$/i.exec(path);
    if (m) return 'file:///' + m[1] + ':/' + encodeSegments(m[2]);
    m = /^[\\/]{2}([^\\/]+)[\\/]?(.*)$/.exec(path);
    if (m) return 'file://' + m[1] + '/' + encodeSegments(m[2]);
    return 'file://' + encodeSegments(path);
  }

  // A URL for name inside folder; folder is a URL or an absolute path.
  function joinUrl(folder, name) {
    const relative = name.replace(/^[\\/]+/, '');
    if (hasScheme(folder)) {
      return folder.replace(/\/+$/, '') + '/' + encodeSegments(relative);
    }
    const separator = folder.includes('\\') || !folder.includes('/') ? '\\' : '/';
    return pathToUrl(folder.replace(/[\\/]+$/, '') + separator + relative);
  }

  function thumbnailUrl(member, value, imagePath) {
    if (typeof member === 'string') {
      if (isAbsolutePath(member)) return pathToUrl(member);
      return imagePath ? joinUrl(imagePath, member) : null;
    }
    if (!imagePath || value === undefined || value === '') return null;
    const file = String(value);
    return joinUrl(imagePath, IMAGE_EXTENSION.test(file) ? file : file + '.png');
  }

  // One element of "itemList" at position index, or null when it is not an
  // item (null, a boolean, an array, an empty string).
  function normalizeItem(item, index, numeric, imagePath) {
    let text;
    let raw;
    let thumbnailMember;
    if (typeof item === 'string' || (typeof item === 'number' && Number.isFinite(item))) {
      if (item === '') return null;
      text = String(item);
      raw = item;
    } else if (item !== null && typeof item === 'object' && !Array.isArray(item)) {
      text = pickMember(item, TEXT_MEMBERS);
      raw = pickMember(item, VALUE_MEMBERS);
      thumbnailMember = pickMember(item, THUMBNAIL_MEMBERS);
      if (typeof thumbnailMember !== 'string') thumbnailMember = undefined;
    } else {
      return null;
    }

    let value;
    if (numeric) {
      // Plain strings are names, not numbers: the position identifies them.
      value = typeof item === 'string' ? undefined : toInt32(raw);
      if (value === undefined) value = index;
    } else {
      value = raw !== undefined ? String(raw) : text !== undefined ? String(text) : undefined;
      if (value === undefined) return null;
    }
    if (text === undefined) text = String(value);
    return {
      text: String(text),
      value,
      thumbnail: thumbnailUrl(thumbnailMember, value, imagePath),
    };
  }

  // The entries of a list payload {"listType", "itemList", "imagePath"}.
  function normalizeList(payload, numeric) {
    const imagePath =
      typeof payload.imagePath === 'string' && payload.imagePath !== '' ? payload.imagePath : null;
    const items = Array.isArray(payload.itemList) ? payload.itemList : [];
    const entries = [];
    items.forEach((item, index) => {
      const entry = normalizeItem(item, index, numeric, imagePath);
      if (entry) entries.push(entry);
    });
    return entries;
  }

  // Whether an entry's text matches what was typed into the search field:
  // the typed text, without the spaces around it, anywhere in the entry's
  // text, ignoring case. An empty search matches every entry.
  function matchesSearch(text, search) {
    const wanted = String(search).trim().toLowerCase();
    return wanted === '' || String(text).toLowerCase().includes(wanted);
  }

  // The path of the file chosen in an <input type="file">. Browsers report
  // "C:\fakepath\" and the file name; the Stream Deck application reports
  // the real path, percent-encoded.
  function pathFromFileInput(value) {
    let path = String(value || '').replace(/^C:\\fakepath\\/i, '');
    if (/%[0-9a-f]{2}/i.test(path)) {
      try {
        path = decodeURIComponent(path);
      } catch (e) {
        // Not percent-encoding after all: keep the text as reported.
      }
    }
    return path;
  }

  const api = { normalizeList, matchesSearch, pathToUrl, joinUrl, pathFromFileInput };
  if (typeof module === 'object' && module.exports) {
    module.exports = api;
  } else {
    root.ZorvaneItems = api;
  }
})(this);
