var helperValue = 'loaded relative to the page';
