// The property inspector's texts in the Stream Deck application's language.
// The page is written in English; the language file of the plug-in folder
// (en.json, de.json, ...) maps each English text to its translation under
// "Localization". A missing file or text leaves the English text.
(function (root) {
  'use strict';

  let table = {};

  function translate(text) {
    const translated = Object.prototype.hasOwnProperty.call(table, text) ? table[text] : undefined;
    return typeof translated === 'string' && translated !== '' ? translated : text;
  }

  // Reads ../<language>.json and calls done() when the table is in place or
  // the file could not be used. XMLHttpRequest rather than fetch: the page is
  // opened from a file: URL, where fetch refuses to read files.
  function load(language, done) {
    if (typeof language !== 'string' || !/^[A-Za-z]{2,3}([_-][A-Za-z0-9]{2,4})?$/.test(language)) {
      done();
      return;
    }
    const request = new XMLHttpRequest();
    request.open('GET', '../' + language + '.json', true);
    request.overrideMimeType('application/json');
    request.onload = () => {
      // A file: URL answers with status 0.
      if (request.status === 0 || request.status === 200) {
        try {
          const root = JSON.parse(request.responseText);
          const localization = root && root.Localization;
          if (localization && typeof localization === 'object' && !Array.isArray(localization)) {
            table = localization;
          }
        } catch (e) {
          // A broken language file leaves the page in English.
        }
      }
      done();
    };
    request.onerror = () => done();
    request.send();
  }

  // Translates every element marked data-l10n (its text) or
  // data-l10n-placeholder (its placeholder). The English text is kept in the
  // attribute, so the page can be translated again.
  function translatePage(doc) {
    for (const element of doc.querySelectorAll('[data-l10n]')) {
      let key = element.getAttribute('data-l10n');
      if (!key) {
        key = element.textContent.trim();
        element.setAttribute('data-l10n', key);
      }
      element.textContent = translate(key);
    }
    for (const element of doc.querySelectorAll('[data-l10n-placeholder]')) {
      element.placeholder = translate(element.getAttribute('data-l10n-placeholder'));
    }
  }

  root.ZorvaneLocalization = { load, translate, translatePage };
})(this);
